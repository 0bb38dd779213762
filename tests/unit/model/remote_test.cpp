// One remote's own state: connection, events, status text and timings.
#include <gtest/gtest.h>

#include <string>

#include "model/accepted_guard.h"
#include "model/tree.h"

namespace {

class RemoteTest : public AcceptedEventsTest {
 protected:
  Remote r{"ups", "", "PR1000", "Master", nullptr};

  void connectWithEvents() {
    r.setConnStatus(Connected);
    r.setEventStatus(AcFail, Shutting);
    r.setEventStatus(Capacity, Warning);
    r.setEventValue(Capacity, 25);
  }
};

TEST_F(RemoteTest, LeavingConnectedResetsEveryEntry) {
  for (int to : {NotConnected, NotResolved}) {
    connectWithEvents();
    ASSERT_EQ(Shutting, r.getShutStatus());
    r.setConnStatus(to);
    EXPECT_EQ(to, r.getConnStatus());
    EXPECT_EQ(Connected, r.getPrevConnStatus());
    for (int i = 0; i < kEventCount; ++i) {
      EXPECT_EQ(0, r.events.getRawStatus(i)) << "to " << to << " entry " << i;
      EXPECT_EQ(0, r.getEventValue(i)) << "to " << to << " entry " << i;
    }
    // Back online, it starts from nothing known rather than the old shutdown request.
    r.setConnStatus(Connected);
    EXPECT_EQ(0, r.events.getRawStatus(AcFail));
    EXPECT_NE(Shutting, r.getShutStatus());
  }
}

TEST_F(RemoteTest, StayingConnectedKeepsTheEntries) {
  connectWithEvents();
  r.setConnStatus(Connected);
  EXPECT_EQ(Connected, r.getPrevConnStatus());
  EXPECT_EQ(Shutting, r.events.getRawStatus(AcFail));
  EXPECT_EQ(25, r.getEventValue(Capacity));
}

TEST_F(RemoteTest, PrevConnStatusRemembersTheValueBeforeEachChange) {
  struct Step {
    int to;
    int prev;
  };
  const Step steps[] = {{NotConnected, NotResolved}, {Connected, NotConnected},
                        {NotResolved, Connected},    {NotResolved, NotResolved},
                        {Connected, NotResolved}};
  for (const auto& s : steps) {
    r.setConnStatus(s.to);
    EXPECT_EQ(s.to, r.getConnStatus());
    EXPECT_EQ(s.prev, r.getPrevConnStatus()) << "to " << s.to;
  }
}

TEST_F(RemoteTest, UpsShutdownDelayIsKnownOnlyWhileConnected) {
  EXPECT_EQ(65535u, r.getUpsShutdownDelay());
  r.setUpsShutdownDelay(30);
  EXPECT_EQ(65535u, r.getUpsShutdownDelay());  // a stored value of a card not connected
  r.setConnStatus(NotConnected);
  EXPECT_EQ(65535u, r.getUpsShutdownDelay());
  r.setConnStatus(Connected);
  EXPECT_EQ(30u, r.getUpsShutdownDelay());
  r.setUpsShutdownDelay(0);
  EXPECT_EQ(0u, r.getUpsShutdownDelay());
  r.setUpsShutdownDelay(120);
  r.setConnStatus(NotResolved);
  EXPECT_EQ(65535u, r.getUpsShutdownDelay());
}

TEST_F(RemoteTest, EventStatusTextGivesOneEffectiveDigitPerEntry) {
  EXPECT_EQ("00000000000011", r.eventStatusText());  // neither load segment feeds the host

  r.setConnStatus(Connected);
  r.setEventStatus(AcFail, Shutting);
  r.setEventStatus(BatteryLow, Normal);
  r.setEventStatus(Overload, Shutting);  // not accepted: shown as a warning
  r.setEventStatus(Capacity, Warning);
  r.setEventStatus(LS1, Shutting);
  EXPECT_EQ("31200000002011", r.eventStatusText());

  r.setPowerBy("LS1");
  EXPECT_EQ("31200000002031", r.eventStatusText());
  accepted_events->set(Overload, true);
  EXPECT_EQ("31300000002031", r.eventStatusText());
}

TEST_F(RemoteTest, SetEventStatesNeedsConnectedAndExactlyFourteenCharacters) {
  r.setPowerBy("LS2");
  const std::string before_text = "22222222222222";
  struct Case {
    int conn;
    std::string text;
  };
  const Case refused[] = {
      {Connected, "1111111111111"},    // 13
      {Connected, "111111111111111"},  // 15
      {Connected, ""},
      {NotConnected, "11111111111111"},
      {NotResolved, "33333333333333"},
  };
  for (const auto& c : refused) {
    r.setConnStatus(Connected);
    r.setEventStates(before_text);
    r.setConnStatus(c.conn);
    const std::string raw_before = [&] {
      std::string s;
      for (int i = 0; i < kEventCount; ++i) s += char('0' + r.events.getRawStatus(i));
      return s;
    }();
    r.setEventStates(c.text);
    for (int i = 0; i < kEventCount; ++i)
      EXPECT_EQ(raw_before[i] - '0', r.events.getRawStatus(i))
          << "conn " << c.conn << " text '" << c.text << "' entry " << i;
  }
}

TEST_F(RemoteTest, SetEventStatesMapsEachCharacterToARawStatus) {
  r.setPowerBy("LS2");
  r.setConnStatus(Connected);
  r.setEventStates("1203a3 2x9\x01" "123");
  const int expected[kEventCount] = {1, 2, 1, 3, 1, 3, 1, 2, 1, 1, 1, 1, 2, 3};
  for (int i = 0; i < kEventCount; ++i) EXPECT_EQ(expected[i], r.events.getRawStatus(i)) << i;
  // Raw entries, then the usual effective view: LS1 does not feed this host.
  EXPECT_EQ("12121312111113", r.eventStatusText());  // OverTp is not accepted
}

TEST_F(RemoteTest, SecondsWithoutReplyCountsFromReceptionToQuery) {
  struct Case {
    std::time_t sent;
    std::time_t received;
    long expected;
  };
  const Case cases[] = {
      {0, 0, 0},
      {1700000100, 1700000040, 60},   // queried after the last answer
      {1700000040, 1700000100, -60},  // answered since the last query
      {1700000000, 1700000000, 0},
      {1700000000, 0, 1700000000},
  };
  for (const auto& c : cases) {
    r.lastSendTime = c.sent;
    r.lastRecvTime = c.received;
    EXPECT_EQ(c.expected, r.secondsWithoutReply()) << c.sent << " - " << c.received;
  }
}

TEST_F(RemoteTest, SettersReplaceModelAndPowerBy) {
  EXPECT_TRUE(r.setModel("PR3000"));
  EXPECT_EQ("PR3000", r.getModel());
  r.setConnStatus(Connected);
  r.setEventStatus(LS2, Shutting);
  EXPECT_EQ(Normal, r.getShutStatus());
  EXPECT_TRUE(r.setPowerBy("LS2"));
  EXPECT_EQ("LS2", r.getPowerBy());
  EXPECT_EQ("LS2", r.events.powerby);
  EXPECT_EQ(Shutting, r.getShutStatus());
  r.setPowerSource(2);
  EXPECT_EQ(2, r.getPowerSource());
}

}  // namespace
