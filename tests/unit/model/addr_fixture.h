// Socket addresses built from numeric text only: getaddrinfo never touches the network
// with AI_NUMERICHOST and AI_NUMERICSERV.
#pragma once

#include <netdb.h>
#include <sys/socket.h>

#include "model/endpoint.h"

struct Resolved {
  Resolved(const char* host, const char* port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    if (getaddrinfo(host, port, &hints, &res) == 0) info = adopt_addrinfo(res);
  }
  explicit operator bool() const { return info != nullptr; }
  const sockaddr* addr() const { return info ? info->ai_addr : nullptr; }

  AddrInfoPtr info;
};
