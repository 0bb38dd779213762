// The accepted-event set is process-wide: tests that change it put it back afterwards so
// the order in which tests run cannot matter.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "model/events.h"

class AcceptedEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = accepted_events->bits();
    restore(kDefaultAcceptedEvents);
  }
  void TearDown() override { restore(saved_); }

  static void restore(uint16_t bits) {
    for (int i = 0; i < kEventCount; ++i) accepted_events->set(i, (bits >> i) & 1u);
  }

 private:
  uint16_t saved_ = 0;
};
