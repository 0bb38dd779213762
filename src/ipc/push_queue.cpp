#include "ipc/push_queue.h"

#include "ipc/text_split.h"

namespace ipc {

namespace {

// "shut_seq:" and the stage digit: the part two countdown bodies of one stage share.
constexpr std::size_t kCountdownKey = 10;

bool is_sequence(const std::string& body) { return starts_with(body, "shut_seq:"); }

bool is_countdown(const std::string& body) {
  return starts_with(body, "shut_seq:2") || starts_with(body, "shut_seq:3");
}

}  // namespace

void PushQueue::add(std::string body) {
  if (is_countdown(body)) {
    for (auto& queued : items_) {
      if (queued.compare(0, kCountdownKey, body, 0, kCountdownKey) == 0) {
        queued = std::move(body);
        return;
      }
    }
  }
  if (items_.size() >= capacity_) {
    // Room is made from the oldest status body; the sequence's own texts go last.
    auto victim = items_.begin();
    while (victim != items_.end() && is_sequence(*victim)) ++victim;
    items_.erase(victim == items_.end() ? items_.begin() : victim);
    ++dropped_;
  }
  if (is_sequence(body)) {
    // The host is going down: that reaches the user interface ahead of a backlog of status
    // bodies (a full status push of a large tree takes a second per remote), in its own order.
    auto pos = items_.begin();
    while (pos != items_.end() && is_sequence(*pos)) ++pos;
    items_.insert(pos, std::move(body));
    return;
  }
  items_.push_back(std::move(body));
}

PushQueue::Clock::duration PushQueue::wait(Clock::time_point now) const {
  if (!last_sent_) return Clock::duration::zero();
  const Clock::time_point next = *last_sent_ + spacing_;
  return next > now ? next - now : Clock::duration::zero();
}

std::string PushQueue::take() {
  std::string body = std::move(items_.front());
  items_.pop_front();
  return body;
}

std::size_t PushQueue::take_dropped() {
  const std::size_t n = dropped_;
  dropped_ = 0;
  return n;
}

}  // namespace ipc
