// The one place the agent reads "now" for its cadences, miss counts and countdowns, so
// tests can set the time instead of sleeping.
#pragma once

#include <ctime>

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::time_t now() const = 0;
};

// Seconds since the epoch from the active clock (the system clock unless a test set one).
std::time_t clock_now();

// Installs a clock; nullptr restores the system clock. Not thread-safe: tests set it
// before starting anything that reads the time.
void set_clock(const Clock* clock);

// A clock that only moves when told to.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::time_t start = 1700000000) : t_(start) {}
  std::time_t now() const override { return t_; }
  void set(std::time_t t) { t_ = t; }
  void advance(std::time_t seconds) { t_ += seconds; }

 private:
  std::time_t t_;
};

// Installs a clock for the lifetime of the object.
class ScopedClock {
 public:
  explicit ScopedClock(const Clock* c) { set_clock(c); }
  ~ScopedClock() { set_clock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};
