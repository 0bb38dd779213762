#include "ipc/ipc_connection.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "ipc/channel_frame.h"
#include "ipc/socket_io.h"
#include "ipc/text_split.h"
#include "logger/log_ops.h"

namespace {

// Longest wait of one poll cycle; the thread looks for a stop request between cycles.
constexpr int kPollMs = 500;

void set_cloexec(int fd) {
  const int flags = ::fcntl(fd, F_GETFD, 0);
  if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

// Texts cross the channel in the locale's multibyte form; bytes without a wide form
// read as an empty text, as everywhere else in the agent.
std::string checked_text(const std::string& raw) { return to_narrow(to_wide(raw)); }

}  // namespace

// ---- IPCConnection ----

IPCConnection::IPCConnection() {
  if (::pipe(wake_) == 0) {
    for (int fd : wake_) {
      set_cloexec(fd);
      ipc::set_nonblocking(fd);
    }
  } else {
    wake_[0] = wake_[1] = -1;
  }
}

IPCConnection::~IPCConnection() {
  if (peer_sock_ >= 0) ::close(peer_sock_);
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
}

void IPCConnection::Disconnect() { ClosePeer(); }

void IPCConnection::ClosePeer() {
  std::lock_guard<std::recursive_mutex> g(conn_lock_);
  if (peer_sock_ >= 0) {
    ::close(peer_sock_);
    peer_sock_ = -1;
  }
  SetAdvising(false);
}

bool IPCConnection::SetAdvising(bool on) {
  std::lock_guard<std::mutex> g(queue_lock_);
  const bool was = advising_;
  advising_ = on;
  if (!on) pushes_.clear();
  return was;
}

bool IPCConnection::IsAdvising() const {
  std::lock_guard<std::mutex> g(queue_lock_);
  return advising_;
}

void IPCConnection::SetPushLimits(std::size_t capacity, std::chrono::milliseconds spacing) {
  std::lock_guard<std::mutex> g(queue_lock_);
  pushes_ = ipc::PushQueue(capacity, spacing);
}

bool IPCConnection::QueuePush(const std::string& body) {
  {
    std::lock_guard<std::mutex> g(queue_lock_);
    if (!advising_) return false;
    pushes_.add(body);
  }
  Wake();
  return true;
}

void IPCConnection::Wake() {
  if (wake_[1] < 0) return;
  const char b = 1;
  // A full pipe already holds a wake-up; nothing more is needed.
  [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
}

void IPCConnection::DrainWake() {
  char buf[64];
  while (wake_[0] >= 0 && ::read(wake_[0], buf, sizeof buf) > 0) {
  }
}

int IPCConnection::PushDueIn() const {
  std::lock_guard<std::mutex> g(queue_lock_);
  if (!advising_ || pushes_.empty()) return -1;
  const auto wait = pushes_.wait(ipc::PushQueue::Clock::now());
  if (wait == ipc::PushQueue::Clock::duration::zero()) return 0;
  // Round up, so the wait never ends just before the push is due.
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()) + 1;
}

bool IPCConnection::SendFrame(const std::string& text) {
  std::vector<unsigned char> frame;
  if (!ipc::frame_text(text, frame)) return false;
  return ipc::send_all(peer_sock_, frame.data(), frame.size());
}

int IPCConnection::Write(const std::string& text) {
  std::lock_guard<std::recursive_mutex> g(conn_lock_);
  if (peer_sock_ < 0) return 0;
  const int ready = ipc::wait_fd(peer_sock_, POLLOUT, 0);
  if (ready < 0) {
    ClosePeer();
    OnError("Error select in write");
    return -1;
  }
  if (ready == 0) return 0;
  if (!SendFrame(text)) {
    ClosePeer();
    OnError("Error send in write");
    return -1;
  }
  return 1;
}

int IPCConnection::Push(const std::string& body) {
  if (!IsAdvising()) return -1;
  std::lock_guard<std::recursive_mutex> g(conn_lock_);
  return Write(ipc::kPushPrefix + body);
}

void IPCConnection::WriteDuePush() {
  std::string body;
  std::size_t dropped = 0;
  {
    std::lock_guard<std::mutex> g(queue_lock_);
    if (!advising_ || !pushes_.due(ipc::PushQueue::Clock::now())) return;
    // Out of the queue before writing, so a newer countdown cannot replace it mid-write.
    body = pushes_.take();
    dropped = pushes_.take_dropped();
  }
  if (dropped) OnPushesDropped(dropped);
  const int result = Push(body);
  if (result == 1) {
    std::lock_guard<std::mutex> g(queue_lock_);
    pushes_.sent(ipc::PushQueue::Clock::now());
  }
  OnPushWritten(body, result);
}

void IPCConnection::DelayNextPush() {
  std::lock_guard<std::mutex> g(queue_lock_);
  pushes_.sent(ipc::PushQueue::Clock::now());
}

// ---- IPCServerConnection ----

IPCServerConnection::~IPCServerConnection() { Disconnect(); }

void IPCServerConnection::Disconnect() {
  ClosePeer();
  if (listen_sock_ >= 0) {
    ::close(listen_sock_);
    listen_sock_ = -1;
  }
  if (!path_.empty()) {
    ::unlink(path_.c_str());
    path_.clear();
  }
}

bool IPCServerConnection::Listen(const std::string& path) {
  sockaddr_un addr{};
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (s < 0) return false;
  set_cloexec(s);
  ipc::set_nonblocking(s);
  listen_sock_ = s;
  ::unlink(path.c_str());
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.data(), path.size());
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  // The file is created owner-only from the start: with the agent's cleared umask it would
  // otherwise be open to every local user, if only for a moment.
  const mode_t old_mask = ::umask(0177);
  const int bound = ::bind(s, reinterpret_cast<const sockaddr*>(&addr), len);
  ::umask(old_mask);
  if (bound != 0) {
    Disconnect();
    return false;
  }
  path_ = path;  // from here on the file is ours to remove
  if (::listen(s, 1) != 0) {
    Disconnect();
    return false;
  }
  return true;
}

bool IPCServerConnection::AcceptPeer(uid_t uid) { return ipc::peer_may_connect(uid, ::geteuid()); }

std::string IPCServerConnection::OnStartAdvise(const std::string&) { return SetAdvising(true) ? "0" : "1"; }

std::string IPCServerConnection::OnStopAdvise() { return SetAdvising(false) ? "1" : "0"; }

int IPCServerConnection::Poll() {
  const bool have_peer = peer_sock_ >= 0;
  if (!have_peer && listen_sock_ < 0) return 0;

  int timeout = kPollMs;
  pollfd fds[2] = {};
  nfds_t n = 0;
  if (have_peer) {
    // Readability always; writability only when a push is due, so an idle peer costs nothing.
    const int due_in = PushDueIn();
    short events = POLLIN;
    if (due_in == 0)
      events |= POLLOUT;
    else if (due_in > 0 && due_in < timeout)
      timeout = due_in;
    fds[n++] = {peer_sock_, events, 0};
  } else {
    fds[n++] = {listen_sock_, POLLIN, 0};
  }
  if (wake_fd() >= 0) fds[n++] = {wake_fd(), POLLIN, 0};

  const int r = ::poll(fds, n, timeout);
  if (r == 0) return 0;
  if (r < 0) {
    // A signal delivered to this thread is no reason to give up the channel.
    if (errno == EINTR) return 0;
    Disconnect();
    OnError("Error select");
    return -1;
  }
  if (n > 1 && fds[1].revents) DrainWake();

  if (!have_peer) return fds[0].revents ? AcceptOne() : 0;

  int result = 0;
  if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) result = ReadAndAnswer();
  if (peer_sock_ >= 0 && (fds[0].revents & POLLOUT)) WriteDuePush();
  return result;
}

int IPCServerConnection::AcceptOne() {
  const int s = ::accept(listen_sock_, nullptr, nullptr);
  if (s < 0) {
    // A peer that left before it was taken, or a wake-up with nothing to take.
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED || errno == EPROTO)
      return 0;
    Disconnect();
    OnError("Error accept");
    return -1;
  }
  set_cloexec(s);
  uid_t uid = static_cast<uid_t>(-1);
  if (!ipc::peer_uid(s, &uid) || !AcceptPeer(uid)) {
    ::close(s);
    return 0;
  }
  ipc::set_nonblocking(s);
  {
    std::lock_guard<std::recursive_mutex> g(conn_lock_);
    peer_sock_ = s;
  }
  OnConnect();
  return 1;
}

int IPCServerConnection::ReadAndAnswer() {
  unsigned char buf[ipc::kMaxFrame];
  std::memset(buf, 0, sizeof buf);
  const ssize_t got = ::recv(peer_sock_, buf, sizeof buf, 0);
  if (got == 0) {
    ClosePeer();
    OnDisconnect();
    return 0;
  }
  if (got < 0) {
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    ClosePeer();
    OnError("Error receive");
    return 0;
  }
  std::string raw;
  if (!ipc::unframe(buf, static_cast<std::size_t>(got), raw)) return 0;  // not whole blocks
  // A peer that does not take its answers gets none, rather than a full socket.
  if (ipc::wait_fd(peer_sock_, POLLOUT, 0) != 1) return 0;

  const std::string text = checked_text(raw);
  std::string answer = "0";
  if (ipc::starts_with(text, ipc::kRequestPrefix))
    answer = OnRequest(text.substr(sizeof ipc::kRequestPrefix - 1));
  else if (ipc::starts_with(text, ipc::kStartPrefix))
    answer = OnStartAdvise(text.substr(sizeof ipc::kStartPrefix - 1));
  else if (ipc::starts_with(text, ipc::kStopPrefix))
    answer = OnStopAdvise();

  const std::string reply = ipc::kResponsePrefix + answer;
  std::lock_guard<std::recursive_mutex> g(conn_lock_);
  if (peer_sock_ < 0) return 0;  // a hook may have dropped the peer
  if (!SendFrame(reply)) {
    ClosePeer();
    OnError("Error send in request");
    return 0;
  }
  if (reply.size() % 16 == 0) DelayNextPush();
  return 1;
}
