#include "control.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

bool fill_address(const std::string& path, sockaddr_un& a, std::string& err) {
  std::memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof a.sun_path) {
    err = "control socket path must be 1 to " + std::to_string(sizeof a.sun_path - 1) + " bytes";
    return false;
  }
  std::memcpy(a.sun_path, path.c_str(), path.size());
  return true;
}

}  // namespace

int control_listen(const std::string& path, std::string& err) {
  sockaddr_un a;
  if (!fill_address(path, a, err)) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    err = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
    err = "cannot listen at " + path + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

int control_send(const std::string& path, const std::string& command, int wait_ms) {
  sockaddr_un a;
  std::string err;
  if (!fill_address(path, a, err)) {
    std::fprintf(stderr, "noxcard: %s\n", err.c_str());
    return 2;
  }
  int fd = -1;
  for (int waited = 0;; waited += 20) {
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) break;
    const int e = errno;
    ::close(fd);
    fd = -1;
    if ((e != ENOENT && e != ECONNREFUSED) || waited >= wait_ms) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (fd < 0) {
    std::fprintf(stderr, "noxcard: no simulator at %s\n", path.c_str());
    return 2;
  }
  const std::string line = command + "\n";
  std::size_t off = 0;
  while (off < line.size()) {
    const ssize_t n = ::send(fd, line.data() + off, line.size() - off, MSG_NOSIGNAL);
    if (n <= 0) {
      ::close(fd);
      std::fprintf(stderr, "noxcard: the simulator closed the connection\n");
      return 2;
    }
    off += static_cast<std::size_t>(n);
  }
  ::shutdown(fd, SHUT_WR);

  std::string reply;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reply.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  std::fwrite(reply.data(), 1, reply.size(), stdout);
  std::fflush(stdout);

  if (reply.empty()) return 2;
  std::string last = reply.substr(0, reply.size() - (reply.back() == '\n' ? 1 : 0));
  const auto nl = last.rfind('\n');
  if (nl != std::string::npos) last = last.substr(nl + 1);
  return last == "ok" ? 0 : 1;
}
