#include "fleet.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

bool numeric_address(const std::string& host, int port, sockaddr_storage& out, socklen_t& len) {
  std::memset(&out, 0, sizeof out);
  auto* in = reinterpret_cast<sockaddr_in*>(&out);
  if (inet_pton(AF_INET, host.c_str(), &in->sin_addr) == 1) {
    in->sin_family = AF_INET;
    in->sin_port = htons(static_cast<uint16_t>(port));
    len = sizeof(sockaddr_in);
    return true;
  }
  auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
  if (inet_pton(AF_INET6, host.c_str(), &in6->sin6_addr) == 1) {
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(static_cast<uint16_t>(port));
    len = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

}  // namespace

double wall_time() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

bool parse_endpoint(const std::string& text, sockaddr_storage& out, socklen_t& len) {
  std::string host, port;
  if (!text.empty() && text[0] == '[') {
    const auto close = text.find("]:");
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  char* end = nullptr;
  const long p = std::strtol(port.c_str(), &end, 10);
  if (port.empty() || *end || p < 1 || p > 65535) return false;
  return numeric_address(host, static_cast<int>(p), out, len);
}

std::string endpoint_text(const sockaddr* sa, socklen_t len) {
  char host[NI_MAXHOST] = "";
  char serv[NI_MAXSERV] = "";
  if (!sa || getnameinfo(sa, len, host, sizeof host, serv, sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return "?";
  if (sa->sa_family == AF_INET6) return std::string("[") + host + "]:" + serv;
  return std::string(host) + ":" + serv;
}

Fleet::~Fleet() {
  for (auto& c : cards_)
    if (c.fd >= 0) ::close(c.fd);
  if (log_fd_ >= 0) ::close(log_fd_);
}

bool Fleet::open(const FleetOptions& opts, std::string& err) {
  if (opts.count < 1) {
    err = "--count must be at least 1";
    return false;
  }
  sockaddr_storage first{};
  socklen_t first_len = 0;
  if (!numeric_address(opts.addr, opts.port, first, first_len)) {
    err = "not a numeric address: " + opts.addr;
    return false;
  }
  if (opts.spread_addresses && first.ss_family != AF_INET) {
    err = "--layout addrs needs an IPv4 address";
    return false;
  }
  if (!opts.spread_addresses && opts.port + opts.count - 1 > 65535) {
    err = "ports beyond 65535";
    return false;
  }
  if (!opts.agent.empty() && !parse_endpoint(opts.agent, fixed_agent_, fixed_agent_len_)) {
    err = "not a numeric host:port: " + opts.agent;
    return false;
  }
  if (!opts.query_log.empty()) {
    log_fd_ = ::open(opts.query_log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log_fd_ < 0) {
      err = "cannot open " + opts.query_log + ": " + std::strerror(errno);
      return false;
    }
  }

  cards_.resize(static_cast<std::size_t>(opts.count));
  for (int i = 0; i < opts.count; ++i) {
    Card& c = cards_[static_cast<std::size_t>(i)];
    c.index = i;
    c.state = opts.initial;
    c.silent = opts.silent;
    sockaddr_storage a = first;
    if (opts.spread_addresses) {
      auto* in = reinterpret_cast<sockaddr_in*>(&a);
      in->sin_addr.s_addr = htonl(ntohl(in->sin_addr.s_addr) + static_cast<uint32_t>(i));
    } else if (a.ss_family == AF_INET) {
      reinterpret_cast<sockaddr_in*>(&a)->sin_port = htons(static_cast<uint16_t>(opts.port + i));
    } else {
      reinterpret_cast<sockaddr_in6*>(&a)->sin6_port = htons(static_cast<uint16_t>(opts.port + i));
    }
    c.label = endpoint_text(reinterpret_cast<sockaddr*>(&a), first_len);
    c.fd = ::socket(a.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (c.fd < 0 || ::bind(c.fd, reinterpret_cast<sockaddr*>(&a), first_len) != 0) {
      err = "cannot bind card " + std::to_string(i) + " at " + c.label + ": " + std::strerror(errno);
      for (auto& d : cards_)
        if (d.fd >= 0) ::close(d.fd);
      cards_.clear();
      return false;
    }
  }
  return true;
}

int Fleet::find(const std::string& text) const {
  if (text.empty()) return -1;
  char* end = nullptr;
  const long i = std::strtol(text.c_str(), &end, 10);
  if (!*end && i >= 0 && static_cast<std::size_t>(i) < cards_.size()) return static_cast<int>(i);
  for (const auto& c : cards_)
    if (c.label == text) return c.index;
  return -1;
}

bool Fleet::sendState(Card& c, const sockaddr* to, socklen_t len) {
  unsigned char out[datagram::kNotificationSize];
  std::size_t n = 0;
  if (!build_notification(c.state, out, n) || ::sendto(c.fd, out, n, MSG_NOSIGNAL, to, len) != static_cast<ssize_t>(n)) {
    ++c.send_errors;
    return false;
  }
  return true;
}

void Fleet::record(Card& c, const sockaddr_storage& from, socklen_t len, const std::string& alias,
                   const std::string& suffix) {
  QueryRecord r{wall_time(), endpoint_text(reinterpret_cast<const sockaddr*>(&from), len), alias, suffix};
  if (log_fd_ >= 0) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f", r.time);
    const std::string line = std::string(stamp) + " card=" + std::to_string(c.index) + " addr=" + c.label +
                             " from=" + r.from + " silent=" + (c.silent ? "yes" : "no") + " suffix=" + (suffix.empty() ? "-" : suffix) +
                             " alias=" + alias + "\n";
    if (::write(log_fd_, line.data(), line.size()) < 0) {
      // The log is a convenience for tests; answering the agent matters more.
    }
  }
  c.recent.push_back(std::move(r));
  if (c.recent.size() > Card::kKeptQueries) c.recent.pop_front();
}

void Fleet::serve(Card& c) {
  unsigned char buf[512];
  for (;;) {
    sockaddr_storage from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(c.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // drained
    }
    std::string alias, suffix;
    if (!decode_query(buf, static_cast<std::size_t>(n), alias, suffix)) {
      ++c.invalid;
      continue;
    }
    ++c.queries;
    c.agent = from;
    c.agent_len = len;
    record(c, from, len, alias, suffix);
    if (c.silent) continue;
    if (sendState(c, reinterpret_cast<sockaddr*>(&from), len)) ++c.answered;
  }
}

bool Fleet::notify(Card& c) {
  if (c.silent) return false;
  const sockaddr_storage& to = fixed_agent_len_ ? fixed_agent_ : c.agent;
  const socklen_t len = fixed_agent_len_ ? fixed_agent_len_ : c.agent_len;
  if (len == 0) return false;
  if (!sendState(c, reinterpret_cast<const sockaddr*>(&to), len)) return false;
  ++c.notified;
  return true;
}
