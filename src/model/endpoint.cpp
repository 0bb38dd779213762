#include "model/endpoint.h"

#include <netinet/in.h>

#include <cstring>

AddrInfoPtr adopt_addrinfo(addrinfo* list) {
  if (!list) return nullptr;
  return AddrInfoPtr(list, [](const addrinfo* p) { freeaddrinfo(const_cast<addrinfo*>(p)); });
}

bool EndpointKey::operator==(const EndpointKey& o) const {
  return family == o.family && port == o.port && std::memcmp(bytes, o.bytes, sizeof bytes) == 0;
}

bool endpoint_key(const sockaddr* sa, EndpointKey& k) {
  if (!sa) return false;
  if (sa->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    k.family = AF_INET;
    k.port = in->sin_port;
    std::memcpy(k.bytes, &in->sin_addr, 4);
    return true;
  }
  if (sa->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
    const unsigned char* b = in6->sin6_addr.s6_addr;
    static const unsigned char zeros[12] = {};
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    const bool is_mapped = std::memcmp(b, mapped, 12) == 0;
    const bool last_is_0_or_1 = b[12] == 0 && b[13] == 0 && b[14] == 0 && b[15] <= 1;
    const bool is_compatible = std::memcmp(b, zeros, 12) == 0 && !last_is_0_or_1;
    k.port = in6->sin6_port;
    if (is_mapped || is_compatible) {
      k.family = AF_INET;
      std::memcpy(k.bytes, b + 12, 4);
    } else {
      k.family = AF_INET6;
      std::memcpy(k.bytes, b, 16);
    }
    return true;
  }
  return false;
}


bool sameEndpoint(const sockaddr* a, const sockaddr* b) {
  EndpointKey ka, kb;
  return endpoint_key(a, ka) && endpoint_key(b, kb) && ka == kb;
}
