// Pushes waiting for the control channel's thread to write them. A user interface takes
// one read as one message, so pushes leave at least kSpacing apart; the queue absorbs
// bursts (a full status push of a large tree) without making the pushing thread wait.
//
// No lock of its own: the owning connection guards it with its queue_lock_.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace ipc {

class PushQueue {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kDefaultCapacity = 1024;
  static constexpr std::chrono::milliseconds kSpacing{1000};

  explicit PushQueue(std::size_t capacity = kDefaultCapacity, std::chrono::milliseconds spacing = kSpacing)
      : capacity_(capacity ? capacity : 1), spacing_(spacing) {}

  // Queues a body. A countdown body ("shut_seq:2…", "shut_seq:3…") takes the place of an
  // unsent one of the same stage, so a late peer sees the current count, not a backlog.
  // Shutdown-sequence bodies ("shut_seq:…") go ahead of queued status bodies, keeping their
  // own order. When the queue is full the oldest status body goes (the oldest body when
  // only sequence bodies are queued) and is counted as dropped.
  void add(std::string body);

  bool empty() const { return items_.empty(); }
  std::size_t size() const { return items_.size(); }
  const std::string& front() const { return items_.front(); }

  // Time left before the next push may be written; zero when it may go now.
  Clock::duration wait(Clock::time_point now) const;
  bool due(Clock::time_point now) const { return !empty() && wait(now) == Clock::duration::zero(); }

  // Takes the front body out for writing; the queue must not be empty.
  std::string take();
  // A push went on the wire at `now`: the next one waits a full spacing.
  void sent(Clock::time_point now) { last_sent_ = now; }
  // Bodies dropped for room since the last call.
  std::size_t take_dropped();
  // Forgets every queued body (pushes switched off, peer gone). The spacing stays.
  void clear() { items_.clear(); }

 private:
  std::deque<std::string> items_;
  std::size_t capacity_;
  std::chrono::milliseconds spacing_;
  std::size_t dropped_ = 0;
  std::optional<Clock::time_point> last_sent_;
};

}  // namespace ipc
