#include "model/events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/accepted_guard.h"

namespace {

using EventsTest = AcceptedEventsTest;

// Built by this file's static initialisers, which may run before those of the library,
// and before any test has touched the set.
const EvtList static_list;
const uint16_t initial_bits = shared_accepted_events()->bits();

TEST(EvtListStatic, ListBuiltBeforeMainSharesTheOneAcceptedSet) {
  ASSERT_NE(nullptr, static_list.acceptList);
  EXPECT_EQ(accepted_events, static_list.acceptList);
  EXPECT_EQ(0x3C33, initial_bits);
}

TEST(ShutEvt, SetStatusKeepsTheValueOnlyForWarning) {
  struct Case {
    int status;
    int value_after;
  };
  const Case cases[] = {{Unknown, 0}, {Normal, 0}, {Warning, 42}, {Shutting, 0}};
  for (const auto& c : cases) {
    ShutEvt e;
    e.status = Warning;
    e.value = 42;
    e.setStatus(c.status);
    EXPECT_EQ(c.status, e.status) << "status " << c.status;
    EXPECT_EQ(c.status, e.getShutStatus()) << "status " << c.status;
    EXPECT_EQ(c.value_after, e.value) << "status " << c.status;
  }
}

TEST(ShutEvt, CopyTakesStatusAndValue) {
  ShutEvt a;
  a.status = Warning;
  a.value = 17;
  ShutEvt b = a;
  EXPECT_EQ(Warning, b.status);
  EXPECT_EQ(17, b.value);
}

TEST_F(EventsTest, AcceptedSetStartsWithDefaultPatternAndRefusesUnknownCodes) {
  // Bits 0, 1, 4, 5, 10..13 set: 0x3C33.
  const bool expected[kEventCount] = {true,  true,  false, false, true, true, false,
                                      false, false, false, true,  true, true, true};
  for (int i = 0; i < kEventCount; ++i) EXPECT_EQ(expected[i], accepted_events->test(i)) << "code " << i;

  for (int code : {-1, 14, 15, 16, 31, 1000}) {
    EXPECT_FALSE(accepted_events->set(code, true)) << code;
    EXPECT_FALSE(accepted_events->set(code, false)) << code;
    EXPECT_FALSE(accepted_events->test(code)) << code;
  }
  EXPECT_EQ(kDefaultAcceptedEvents, accepted_events->bits());
}

TEST_F(EventsTest, AcceptedSetTogglesOneBitOnly) {
  EXPECT_TRUE(accepted_events->set(Overload, true));
  EXPECT_EQ(kDefaultAcceptedEvents | (1u << Overload), accepted_events->bits());
  EXPECT_TRUE(accepted_events->set(AcFail, false));
  EXPECT_EQ((kDefaultAcceptedEvents | (1u << Overload)) & ~1u, accepted_events->bits());
  EXPECT_TRUE(accepted_events->set(LS2, false));
  EXPECT_FALSE(accepted_events->test(LS2));
  EXPECT_TRUE(accepted_events->test(LS1));
}

TEST_F(EventsTest, FreshListHoldsFourteenClearEntriesAndTheSharedSet) {
  EvtList list;
  ASSERT_EQ(static_cast<std::size_t>(kEventCount), list.entries.size());
  for (int i = 0; i < kEventCount; ++i) {
    EXPECT_EQ(0, list.getRawStatus(i)) << i;
    EXPECT_EQ(0, list.getEventValue(i)) << i;
  }
  EXPECT_EQ(accepted_events, list.acceptList);
  EXPECT_EQ(accepted_events, shared_accepted_events());
  EXPECT_TRUE(list.powerby.empty());
}

// One row per (entry, raw status, power-by) with the accepted set at its default.
TEST_F(EventsTest, EffectiveStatusAppliesLoadSegmentRuleThenAcceptedSet) {
  struct Case {
    int index;
    int raw;
    const char* powerby;
    int expected;
  };
  const Case cases[] = {
      // Ordinary entries report the raw status, except Shutting of a kind not accepted.
      {AcFail, Unknown, "Master", Unknown},
      {AcFail, Normal, "Master", Normal},
      {AcFail, Warning, "Master", Warning},
      {AcFail, Shutting, "Master", Shutting},
      {Overload, Shutting, "Master", Warning},
      {Overload, Warning, "Master", Warning},
      {Overload, Normal, "Master", Normal},
      {OverTp, Shutting, "LS1", Warning},
      {EMPCt2, Shutting, "", Warning},
      {RemainTime, Shutting, "", Shutting},
      // Load segment 1 concerns the host only when the host hangs on it.
      {LS1, Shutting, "LS1", Shutting},
      {LS1, Warning, "LS1", Warning},
      {LS1, Unknown, "LS1", Unknown},
      {LS1, Shutting, "Master", Normal},
      {LS1, Shutting, "LS2", Normal},
      {LS1, Shutting, "", Normal},
      {LS1, Shutting, "ls1", Normal},
      {LS1, Shutting, "LS1 ", Normal},
      {LS1, Unknown, "Master", Normal},
      {LS1, Warning, "LS2", Normal},
      // And load segment 2 likewise.
      {LS2, Shutting, "LS2", Shutting},
      {LS2, Shutting, "LS1", Normal},
      {LS2, Shutting, "Master", Normal},
      {LS2, Unknown, "", Normal},
  };
  for (const auto& c : cases) {
    EvtList list;
    list.powerby = c.powerby;
    list.setEventStatus(c.index, c.raw);
    EXPECT_EQ(c.expected, list.getEventStatus(c.index))
        << "index " << c.index << " raw " << c.raw << " powerby '" << c.powerby << "'";
  }
}

TEST_F(EventsTest, AcceptingAKindTurnsWarningIntoShuttingInEveryList) {
  EvtList a, b;
  a.powerby = "Master";
  b.powerby = "LS1";
  a.setEventStatus(Overload, Shutting);
  b.setEventStatus(Overload, Shutting);
  EXPECT_EQ(Warning, a.getEventStatus(Overload));
  EXPECT_EQ(Warning, b.getShutStatus());

  accepted_events->set(Overload, true);
  EXPECT_EQ(Shutting, a.getEventStatus(Overload));
  EXPECT_EQ(Shutting, a.getShutStatus());
  EXPECT_EQ(Shutting, b.getShutStatus());

  accepted_events->set(Overload, false);
  EXPECT_EQ(Warning, a.getShutStatus());

  // Withdrawing a default kind works the same way.
  a.setEventStatus(AcFail, Shutting);
  EXPECT_EQ(Shutting, a.getShutStatus());
  accepted_events->set(AcFail, false);
  EXPECT_EQ(Warning, a.getShutStatus());
}

// The list status is the largest effective status. Entries of a load segment that does not
// feed the host always read Normal, so with any power-by text at least one of entries 12
// and 13 is Normal: a list therefore never reads below Normal.
TEST_F(EventsTest, ListStatusIsTheLargestEffectiveStatus) {
  struct Case {
    const char* powerby;
    std::vector<std::pair<int, int>> raw;  // (index, status)
    int expected;
  };
  const Case cases[] = {
      {"Master", {}, Normal},
      {"", {}, Normal},
      {"LS1", {}, Normal},
      {"Master", {{AcFail, Normal}}, Normal},
      {"Master", {{BatteryLow, Warning}}, Warning},
      {"Master", {{AcFail, Normal}, {Overload, Warning}, {BatteryLow, Shutting}}, Shutting},
      {"Master", {{AcFail, Shutting}, {Overload, Warning}, {BatteryLow, Normal}}, Shutting},
      {"Master", {{AcFail, Warning}, {Overload, Normal}, {RemainTime, Shutting}}, Shutting},
      // Not accepted, so only a warning.
      {"Master", {{Overload, Shutting}}, Warning},
      {"Master", {{EMPTp, Shutting}, {EMPHum, Shutting}}, Warning},
      // Load segments: only the feeding one may shut the host down.
      {"Master", {{LS1, Shutting}, {LS2, Shutting}}, Normal},
      {"LS1", {{LS1, Shutting}}, Shutting},
      {"LS2", {{LS1, Shutting}}, Normal},
      {"LS2", {{LS2, Shutting}}, Shutting},
      {"LS2", {{LS2, Warning}}, Warning},
  };
  for (std::size_t n = 0; n < sizeof cases / sizeof cases[0]; ++n) {
    const Case& c = cases[n];
    EvtList list;
    list.powerby = c.powerby;
    for (const auto& e : c.raw) list.setEventStatus(e.first, e.second);
    EXPECT_EQ(c.expected, list.getShutStatus()) << "case " << n;
  }
}

TEST_F(EventsTest, ValueAccessDoesNotTouchStatusAndResetClearsBoth) {
  EvtList list;
  list.powerby = "LS1";
  list.setEventStatus(Capacity, Warning);
  list.setEventValue(Capacity, 35);
  list.setEventStatus(AcFail, Shutting);
  list.setEventValue(AcFail, 9);  // a value may sit beside any status
  EXPECT_EQ(Warning, list.getRawStatus(Capacity));
  EXPECT_EQ(35, list.getEventValue(Capacity));
  EXPECT_EQ(Shutting, list.getRawStatus(AcFail));
  EXPECT_EQ(9, list.getEventValue(AcFail));

  list.setEventStatus(Capacity, Normal);
  EXPECT_EQ(0, list.getEventValue(Capacity));

  list.setEventStatus(RemainTime, Warning);
  list.setEventValue(RemainTime, 120);
  list.resetEvents();
  for (int i = 0; i < kEventCount; ++i) {
    EXPECT_EQ(Unknown, list.getRawStatus(i)) << i;
    EXPECT_EQ(0, list.getEventValue(i)) << i;
  }
  EXPECT_EQ("LS1", list.powerby);
}

}  // namespace
