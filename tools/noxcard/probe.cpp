#include "probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>

#include "commands.h"
#include "fleet.h"

namespace {

std::string state_text(const CardState& s) {
  std::string events, warns;
  for (int i = 0; i < kEventCount; ++i) {
    if (s.events[i]) events += std::string(events.empty() ? "" : ",") + event_key(i);
    if (s.warnings[i])
      warns += std::string(warns.empty() ? "" : ",") + event_key(i) + ":" + std::to_string(s.warnings[i]);
  }
  return "events=" + (events.empty() ? std::string("-") : events) + " warn=" + (warns.empty() ? "-" : warns) +
         " delay=" + std::to_string(s.delay) + " source=" + std::to_string(s.source);
}

}  // namespace

int probe_cards(const std::string& first, int count, bool spread, const std::string& alias, int timeout_ms) {
  sockaddr_storage base{};
  socklen_t len = 0;
  if (count < 1 || !parse_endpoint(first, base, len) || (spread && base.ss_family != AF_INET)) {
    std::fprintf(stderr, "noxcard: bad probe target %s\n", first.c_str());
    return 2;
  }
  const int fd = ::socket(base.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 2;
  int big = 4 * 1024 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);

  // The query carries no load-segment suffix: the probe stands for a host on the master output.
  Remote asker("probe", "", "", "Master", nullptr);
  unsigned char q[datagram::kQuerySize];
  buildQuery(asker, alias, q);

  std::set<std::string> targets;
  for (int i = 0; i < count; ++i) {
    sockaddr_storage a = base;
    if (base.ss_family == AF_INET) {
      auto* in = reinterpret_cast<sockaddr_in*>(&a);
      if (spread)
        in->sin_addr.s_addr = htonl(ntohl(in->sin_addr.s_addr) + static_cast<uint32_t>(i));
      else
        in->sin_port = htons(static_cast<uint16_t>(ntohs(in->sin_port) + i));
    } else {
      auto* in6 = reinterpret_cast<sockaddr_in6*>(&a);
      in6->sin6_port = htons(static_cast<uint16_t>(ntohs(in6->sin6_port) + i));
    }
    targets.insert(endpoint_text(reinterpret_cast<sockaddr*>(&a), len));
    ::sendto(fd, q, sizeof q, 0, reinterpret_cast<sockaddr*>(&a), len);
  }

  std::set<std::string> answered;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (answered.size() < targets.size()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    unsigned char buf[512];
    sockaddr_storage from{};
    socklen_t flen = sizeof from;
    const ssize_t n = ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &flen);
    if (n <= 0) continue;
    const std::string who = endpoint_text(reinterpret_cast<sockaddr*>(&from), flen);
    CardState s;
    if (!decode_notification(buf, static_cast<std::size_t>(n), s)) {
      std::printf("invalid from=%s bytes=%zd\n", who.c_str(), n);
      continue;
    }
    if (!targets.count(who) || !answered.insert(who).second) continue;
    std::printf("answer from=%s %s\n", who.c_str(), state_text(s).c_str());
  }
  ::close(fd);
  std::printf("answers=%zu of %zu\n", answered.size(), targets.size());
  return answered.size() == targets.size() ? 0 : 1;
}
