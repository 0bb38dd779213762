#include "ipc/control_client.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "ipc/socket_io.h"

namespace ipc {

namespace {

using steady = std::chrono::steady_clock;

int ms_left(steady::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ControlClient::~ControlClient() { close(); }

void ControlClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  reader_ = MessageReader();
}

ControlClient::Connect ControlClient::connect(const std::string& path) {
  close();
  sockaddr_un addr{};
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    error_ = "socket path too long";
    return Connect::Failed;
  }
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return Connect::Failed;
  }
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.data(), path.size());
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
    const int e = errno;
    error_ = std::strerror(e);
    close();
    if (e == ENOENT || e == ECONNREFUSED || e == ENOTDIR) return Connect::NotRunning;
    if (e == EACCES || e == EPERM) return Connect::AccessDenied;
    return Connect::Failed;
  }
  return Connect::Ok;
}

bool ControlClient::send(const std::string& text) {
  if (fd_ < 0) return false;
  std::vector<unsigned char> frame;
  if (!frame_text(text, frame) || !send_all(fd_, frame.data(), frame.size())) {
    const int e = errno;
    error_ = std::strerror(e);
    errno = e;  // callers tell a peer that is gone from other failures
    return false;
  }
  return true;
}

ControlClient::Read ControlClient::read(std::string& text, int timeout_ms, int pause_ms) {
  if (fd_ < 0) return Read::Error;
  const steady::time_point deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
  unsigned char buf[4096];
  for (;;) {
    if (reader_.take(text)) return Read::Message;
    const int left = ms_left(deadline);
    // Whole blocks without a zero byte: complete once the data pauses.
    const bool unterminated = reader_.has_unterminated();
    const int wait = unterminated ? std::min(pause_ms, left) : left;
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, wait);
    if (r < 0) {
      if (errno == EINTR) return Read::Interrupted;
      error_ = std::strerror(errno);
      return Read::Error;
    }
    if (r == 0) {
      if (unterminated && reader_.take_unterminated(text)) return Read::Message;
      if (ms_left(deadline) == 0) return Read::Timeout;
      continue;
    }
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n == 0) {
      if (reader_.take_unterminated(text)) return Read::Message;  // the last message, then the close
      return Read::Closed;
    }
    if (n < 0) {
      const int e = errno;
      if (e == EINTR) return Read::Interrupted;
      if (e == EAGAIN || e == EWOULDBLOCK) continue;
      error_ = std::strerror(e);
      return e == ECONNRESET ? Read::Closed : Read::Error;
    }
    reader_.feed(buf, static_cast<std::size_t>(n));
  }
}

ControlClient::Read ControlClient::ask(const std::string& text, std::string& answer, int timeout_ms) {
  if (!send(text)) return Read::Error;
  return read(answer, timeout_ms);
}

}  // namespace ipc
