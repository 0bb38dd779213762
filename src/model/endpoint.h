// Socket-address helpers shared by the device tree and the UDP endpoint.
#pragma once

#include <netdb.h>
#include <sys/socket.h>

#include <cstdint>
#include <memory>

// A getaddrinfo result list, released with freeaddrinfo when the last holder lets go.
using AddrInfoPtr = std::shared_ptr<const addrinfo>;
AddrInfoPtr adopt_addrinfo(addrinfo* list);

// A socket address reduced to (family, port, address bytes). IPv4-mapped and IPv4-compatible
// IPv6 addresses reduce to the IPv4 address they carry.
struct EndpointKey {
  int family = 0;
  uint16_t port = 0;  // network byte order
  unsigned char bytes[16] = {};

  bool operator==(const EndpointKey& o) const;
};
// False for a null address or a family other than IPv4 and IPv6.
bool endpoint_key(const sockaddr* sa, EndpointKey& key);

// True when both name the same (family, port, address). IPv4-mapped and IPv4-compatible
// IPv6 addresses compare as the IPv4 address they carry; other families never match.
bool sameEndpoint(const sockaddr* a, const sockaddr* b);
