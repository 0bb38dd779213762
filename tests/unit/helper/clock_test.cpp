#include "helper/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>

namespace {

TEST(Clock, SystemClockByDefault) {
  const std::time_t before = std::time(nullptr);
  const std::time_t now = clock_now();
  const std::time_t after = std::time(nullptr);
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
}

TEST(FakeClock, MovesOnlyWhenTold) {
  FakeClock fake(1000);
  EXPECT_EQ(1000, fake.now());
  fake.advance(5);
  EXPECT_EQ(1005, fake.now());
  fake.advance(-10);
  EXPECT_EQ(995, fake.now());
  fake.set(42);
  EXPECT_EQ(42, fake.now());
  EXPECT_EQ(1700000000, FakeClock().now());
}

TEST(ScopedClock, InstallsForItsLifetimeThenRestores) {
  FakeClock fake(5000);
  {
    ScopedClock scope(&fake);
    EXPECT_EQ(5000, clock_now());
    fake.advance(3);
    EXPECT_EQ(5003, clock_now());
  }
  const std::time_t sys = std::time(nullptr);
  EXPECT_GE(clock_now(), sys);
}

// A helper that installs its own clock inside a test's clock must hand the test's back.
TEST(ScopedClock, NestedScopesUnwindToTheOuterClock) {
  FakeClock outer(100), inner(900);
  {
    ScopedClock a(&outer);
    {
      ScopedClock b(&inner);
      EXPECT_EQ(900, clock_now());
    }
    EXPECT_EQ(100, clock_now());
  }
  EXPECT_GE(clock_now(), 1600000000);  // the system clock again
}

TEST(SetClock, ReturnsTheClockItReplaced) {
  FakeClock a(1), b(2);
  EXPECT_EQ(nullptr, set_clock(&a));  // the system clock reads as null
  EXPECT_EQ(&a, set_clock(&b));
  EXPECT_EQ(2, clock_now());
  EXPECT_EQ(&b, set_clock(nullptr));
  EXPECT_EQ(nullptr, set_clock(nullptr));
  EXPECT_GE(clock_now(), 1600000000);
}

// Worker threads read the fake while the test thread moves it; every read must be a value
// the test actually set (run under the thread sanitizer to see races).
TEST(FakeClock, ReadsWhileAdvancingSeeOnlyValuesThatWereSet) {
  FakeClock fake(0);
  ScopedClock scope(&fake);
  std::atomic<bool> stop{false};
  std::atomic<long> bad{0};
  std::thread reader([&] {
    std::time_t last = 0;
    while (!stop) {
      const std::time_t t = clock_now();
      if (t < last || t > 10000) ++bad;
      last = t;
    }
  });
  for (int i = 0; i < 10000; ++i) fake.advance(1);
  stop = true;
  reader.join();
  EXPECT_EQ(0, bad.load());
  EXPECT_EQ(10000, clock_now());
}

}  // namespace
