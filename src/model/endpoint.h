// Socket-address helpers shared by the device tree and the UDP endpoint.
#pragma once

#include <netdb.h>
#include <sys/socket.h>

#include <memory>

// A getaddrinfo result list, released with freeaddrinfo when the last holder lets go.
using AddrInfoPtr = std::shared_ptr<const addrinfo>;
AddrInfoPtr adopt_addrinfo(addrinfo* list);

// True when both name the same (family, port, address). IPv4-mapped and IPv4-compatible
// IPv6 addresses compare as the IPv4 address they carry; other families never match.
bool sameEndpoint(const sockaddr* a, const sockaddr* b);
