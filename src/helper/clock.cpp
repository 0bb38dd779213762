#include "helper/clock.h"

#include <atomic>

namespace {
class SystemClock : public Clock {
 public:
  std::time_t now() const override { return std::time(nullptr); }
};
const SystemClock system_clock;
std::atomic<const Clock*> active_clock{&system_clock};
}  // namespace

std::time_t clock_now() { return active_clock.load(std::memory_order_acquire)->now(); }

const Clock* set_clock(const Clock* clock) {
  const Clock* previous = active_clock.exchange(clock ? clock : &system_clock, std::memory_order_acq_rel);
  return previous == &system_clock ? nullptr : previous;
}
