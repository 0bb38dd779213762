#include "server/noxserver.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "logger/log_ops.h"
#include "server/datagram.h"

namespace {

struct AddrInfoFree {
  void operator()(addrinfo* p) const {
    if (p) freeaddrinfo(p);
  }
};

void log_socket_error(const char* where) {
  log_debug(wxString(NOXServer::socketErrorText() + where));
}

}  // namespace

NOXServer::NOXServer(ReceiveSink* sink) : sockets_{-1, -1}, sink_(sink) {}

NOXServer::~NOXServer() { closeSockets(); }

int NOXServer::getSocket() const { return sockets_[1]; }

int NOXServerUnix::getSocket() const { return sockets_[1] != -1 ? sockets_[1] : sockets_[0]; }

std::string NOXServer::socketErrorText() {
  const int e = errno;
  return "socket error, errno: " + std::to_string(e) + " " + std::error_code(e, std::generic_category()).message();
}

int NOXServer::makeSocket(int family) { return ::socket(family, SOCK_DGRAM, 0); }

void NOXServer::closeSockets() {
  for (int& s : sockets_) {
    if (s != -1) ::close(s);
    s = -1;
  }
  v6_dual_ = false;
}

void NOXServer::tuneReceiving(int s) {
  timeval tv{kRecvTimeoutSec, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  // Best effort: a smaller buffer only means an earlier loss in a burst.
  int want = kReceiveBuffer;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
  int got = 0;
  socklen_t len = sizeof got;
  if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, &got, &len) == 0 && got < want) {
#ifdef SO_RCVBUFFORCE
    setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want);
#endif
  }
}

bool NOXServer::bindIpv6(const addrinfo* ai, bool v6only) {
  const int s = makeSocket(AF_INET6);
  if (s == -1) return false;
  const int flag = v6only ? 1 : 0;
  if (setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &flag, sizeof flag) != 0 ||
      ::bind(s, ai->ai_addr, ai->ai_addrlen) != 0) {
    log_socket_error(" in bind or setsockopt");
    ::close(s);
    return false;
  }
  tuneReceiving(s);
  sockets_[0] = s;
  v6_dual_ = !v6only;
  return true;
}

void NOXServer::bindIpv4(const addrinfo* ai, int candidate) {
  const int s = makeSocket(AF_INET);
  if (s == -1) return;
  sockaddr_in addr;
  std::memcpy(&addr, ai->ai_addr, sizeof addr);
  for (int t = 0; t < kIpv4Tries; ++t) {
    addr.sin_port = htons(static_cast<uint16_t>(candidate + t));
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      tuneReceiving(s);
      sockets_[1] = s;
      return;
    }
    log_socket_error(" in bind or setsockopt");
    // Without an IPv6 socket there is nothing to pair a shifted IPv4 port with.
    if (sockets_[0] == -1) break;
  }
  ::close(s);
}

int NOXServer::bindPort(int& port) {
  if (port < kFirstPort || port > kLastPort) port = kFirstPort;
  closeSockets();
  port_ = 0;

  for (int i = 0; i < kPortCount; ++i) {
    int candidate = (port + i) % (kLastPort + 1);
    if (candidate < kFirstPort) candidate += kFirstPort;
    const std::string service = std::to_string(candidate);

    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* raw = nullptr;
    if (getaddrinfo(nullptr, service.c_str(), &hints, &raw) != 0) {
      log_socket_error(" in getaddrinfo");
      continue;
    }
    std::unique_ptr<addrinfo, AddrInfoFree> list(raw);
    const addrinfo* v6 = nullptr;
    const addrinfo* v4 = nullptr;
    for (const addrinfo* p = raw; p; p = p->ai_next) {
      if (p->ai_family == AF_INET6) v6 = p;
      if (p->ai_family == AF_INET) v4 = p;
    }

    // IPv6-only, so that the IPv4 socket can have the same port.
    if (v6) bindIpv6(v6, true);
    if (v4) bindIpv4(v4, candidate);
    if (sockets_[1] == -1 && sockets_[0] != -1) {
      // No IPv4 socket at all: let the IPv6 socket take IPv4 traffic as well. The option
      // can only be chosen before bind, so the socket is made again.
      ::close(sockets_[0]);
      sockets_[0] = -1;
      if (bindIpv6(v6, false)) {
        log_debug(wxString::Format("No IPv4 socket, the IPv6 socket at port %d takes IPv4 too", candidate));
      } else {
        bindIpv6(v6, true);
      }
    }

    if (sockets_[0] == -1 && sockets_[1] == -1) {
      log_debug(wxString::Format("Bind failed at port %s", service.c_str()));
      continue;
    }
    port_ = candidate;
    port = candidate;
    return candidate;
  }
  port = 0;
  return -1;
}

int NOXServer::drain(int s) {
  unsigned char buf[datagram::kMaxRead];
  int taken = 0;
  for (std::size_t k = 0; k < drain_limit_; ++k) {
    sockaddr_storage from;
    socklen_t fromlen = sizeof from;
    const ssize_t n = ::recvfrom(s, buf, sizeof buf, MSG_DONTWAIT | MSG_NOSIGNAL,
                                 reinterpret_cast<sockaddr*>(&from), &fromlen);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // nothing more waiting (or an error the next cycle will meet again)
    }
    ++taken;
    if (sink_) take_datagram(*sink_, reinterpret_cast<const sockaddr*>(&from), fromlen, buf, static_cast<std::size_t>(n));
  }
  return taken;
}

int NOXServer::receiveOnce() {
  if (!enabled_.load()) return 0;
  pollfd fds[2];
  nfds_t count = 0;
  for (int s : sockets_) {
    if (s != -1) fds[count++] = pollfd{s, POLLIN, 0};
  }
  if (count == 0) return 0;

  const int ready = ::poll(fds, count, kSelectTimeoutMs);
  if (ready == 0) return 0;
  if (ready < 0) {
    log_socket_error(" in select");
    return 0;
  }
  int taken = 0;
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].revents & (POLLIN | POLLERR)) taken += drain(fds[i].fd);
  }
  return taken;
}

int NOXServer::sendTo(const addrinfo* ai, const unsigned char* bytes, std::size_t len) {
  if (!ai || !ai->ai_addr || !bytes || len == 0) return -1;

  const sockaddr* dst = ai->ai_addr;
  socklen_t dstlen = ai->ai_addrlen;
  int s = -1;
  sockaddr_in6 mapped{};
  if (dst->sa_family == AF_INET) {
    s = getSocket();
    if (s != -1 && s == sockets_[0]) {
      // An IPv6 socket reaches an IPv4 card only through the card's IPv4-mapped address.
      const auto* in = reinterpret_cast<const sockaddr_in*>(dst);
      mapped.sin6_family = AF_INET6;
      mapped.sin6_port = in->sin_port;
      mapped.sin6_addr.s6_addr[10] = 0xff;
      mapped.sin6_addr.s6_addr[11] = 0xff;
      std::memcpy(&mapped.sin6_addr.s6_addr[12], &in->sin_addr, 4);
      dst = reinterpret_cast<const sockaddr*>(&mapped);
      dstlen = sizeof mapped;
    }
  } else if (dst->sa_family == AF_INET6) {
    s = sockets_[0];
  } else {
    return -1;
  }
  if (s == -1) return -1;

  const ssize_t n = ::sendto(s, bytes, len, MSG_NOSIGNAL, dst, dstlen);
  if (n < 0) {
    log_socket_error(" in sendto");
    return -1;
  }
  return static_cast<int>(n);
}
