// The one place the agent reads "now" for its cadences, miss counts and countdowns, so
// tests can set the time instead of sleeping.
#pragma once

#include <atomic>
#include <ctime>

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::time_t now() const = 0;
};

// Seconds since the epoch from the active clock (the system clock unless a test set one).
std::time_t clock_now();

// Installs a clock (nullptr restores the system clock) and returns the one it replaced.
// Tests install it before starting anything that reads the time.
const Clock* set_clock(const Clock* clock);

// A clock that only moves when told to. The test thread moves it while worker threads
// read it, so the time is atomic.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::time_t start = 1700000000) : t_(start) {}
  std::time_t now() const override { return t_.load(); }
  void set(std::time_t t) { t_.store(t); }
  void advance(std::time_t seconds) { t_.fetch_add(seconds); }

 private:
  std::atomic<std::time_t> t_;
};

// Installs a clock for the lifetime of the object, then puts back the one it replaced
// (so nested scopes unwind to the outer fake, not to the system clock).
class ScopedClock {
 public:
  explicit ScopedClock(const Clock* c) : previous_(set_clock(c)) {}
  ~ScopedClock() { set_clock(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  const Clock* previous_;
};
