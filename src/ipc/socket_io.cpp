#include "ipc/socket_io.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace ipc {

int wait_fd(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  const int r = ::poll(&p, 1, timeout_ms);
  if (r < 0) return errno == EINTR ? 0 : -1;
  if (r == 0) return 0;
  // A hung-up or failed socket is "ready": the next call on it reports what happened.
  return 1;
}

bool send_all(int fd, const void* data, std::size_t len, int stall_ms) {
  using steady = std::chrono::steady_clock;
  const char* p = static_cast<const char*>(data);
  auto last_progress = steady::now();
  while (len > 0) {
    const ssize_t n = ::send(fd, p, len, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      len -= static_cast<std::size_t>(n);
      last_progress = steady::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const auto waited =
          std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - last_progress).count();
      if (waited >= stall_ms) {
        errno = ETIMEDOUT;
        return false;
      }
      if (wait_fd(fd, POLLOUT, static_cast<int>(stall_ms - waited)) < 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

bool set_nonblocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool peer_uid(int fd, uid_t* uid) {
#if defined(__linux__)
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  *uid = cred.uid;
  return true;
#else
  gid_t gid;
  return ::getpeereid(fd, uid, &gid) == 0;
#endif
}

}  // namespace ipc
