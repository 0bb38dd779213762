#include "server/event_parser.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/accepted_guard.h"
#include "server/datagram.h"

namespace {

struct Lists {
  std::vector<int> restored, changed, active;
};

class EventParserTest : public AcceptedEventsTest {
 protected:
  EventParserTest() : remote("ups1", "", "", "Master", nullptr) { remote.setConnStatus(Connected); }

  Lists parse(const CardState& s) {
    unsigned char body[datagram::kBodySize];
    encode_notification_body(s, body);
    return parse_raw(body, sizeof body);
  }
  Lists parse_raw(const unsigned char* body, std::size_t len) {
    Lists l;
    EventParser(&remote, body, len, l.restored, l.changed, l.active);
    return l;
  }
  static CardState with_event(int code) {
    CardState s;
    s.events[code] = true;
    return s;
  }
  static CardState with_warning(int code, uint8_t v) {
    CardState s;
    s.warnings[code] = v;
    return s;
  }

  Remote remote;
};

using V = std::vector<int>;

TEST_F(EventParserTest, FirstNotificationSetsNormalWithoutReportingRestorations) {
  const Lists l = parse(CardState{});
  EXPECT_EQ(l.restored, V{});
  EXPECT_EQ(l.changed, V{});
  EXPECT_EQ(l.active, V{});
  EXPECT_EQ(remote.eventStatusText(), "11111111111111");
}

TEST_F(EventParserTest, PresentEventIsActiveOnceAndRestoredWhenItGoes) {
  parse(CardState{});
  EXPECT_EQ(parse(with_event(AcFail)).active, V{AcFail});
  EXPECT_EQ(remote.getEventStatus(AcFail), Shutting);
  EXPECT_EQ(parse(with_event(AcFail)).active, V{});

  const Lists gone = parse(CardState{});
  EXPECT_EQ(gone.restored, V{AcFail});
  EXPECT_EQ(remote.getEventStatus(AcFail), Normal);
}

TEST_F(EventParserTest, UnacceptedEventIsActiveWithEveryNotification) {
  parse(CardState{});
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(parse(with_event(Overload)).active, V{Overload}) << "round " << round;
    EXPECT_EQ(remote.getEventStatus(Overload), Warning);
  }
}

TEST_F(EventParserTest, LoadSegmentEventOfAnotherSegmentIsStoredButReadsNormal) {
  parse(CardState{});
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(parse(with_event(LS1)).active, V{LS1});
    EXPECT_EQ(remote.events.getRawStatus(LS1), Shutting);
    EXPECT_EQ(remote.getEventStatus(LS1), Normal);
  }
}

TEST_F(EventParserTest, WarningValueReportedOnlyWhenItChanges) {
  parse(CardState{});
  EXPECT_EQ(parse(with_warning(Capacity, 40)).changed, V{Capacity});
  EXPECT_EQ(remote.getEventStatus(Capacity), Warning);
  EXPECT_EQ(remote.getEventValue(Capacity), 40);
  EXPECT_EQ(parse(with_warning(Capacity, 40)).changed, V{});
  EXPECT_EQ(parse(with_warning(Capacity, 35)).changed, V{Capacity});
  EXPECT_EQ(remote.getEventValue(Capacity), 35);

  const Lists gone = parse(CardState{});
  EXPECT_EQ(gone.restored, V{Capacity});
  EXPECT_EQ(remote.getEventValue(Capacity), 0);
}

TEST_F(EventParserTest, OnlyFlagByteOneMeansPresent) {
  parse(CardState{});
  unsigned char body[datagram::kBodySize] = {};
  body[AcFail] = 2;
  body[BatteryLow] = 0xFF;
  body[Overload] = 1;
  const Lists l = parse_raw(body, sizeof body);
  EXPECT_EQ(l.active, V{Overload});
  EXPECT_EQ(remote.getEventStatus(AcFail), Normal);
  EXPECT_EQ(remote.getEventStatus(BatteryLow), Normal);
}

TEST_F(EventParserTest, DelayAndPowerSource) {
  unsigned char body[datagram::kBodySize] = {};
  body[64] = 0x01;
  body[65] = 0x2C;
  body[66] = 7;
  parse_raw(body, sizeof body);
  EXPECT_EQ(remote.getUpsShutdownDelay(), 300u);
  EXPECT_EQ(remote.getPowerSource(), 7);
  EXPECT_EQ(remote.getPowerBy(), "Master");

  body[64] = 0xFF;
  body[65] = 0xFF;
  parse_raw(body, sizeof body);
  EXPECT_EQ(remote.getUpsShutdownDelay(), 65535u);
}

TEST_F(EventParserTest, PowerSourceMovesPowerBy) {
  struct Row {
    const char* before;
    uint8_t source;
    const char* after;
  } rows[] = {
      {"Master", 1, "LS1"}, {"LS2", 1, "LS2"},       {"LS1", 1, "LS1"},   {"LS1", 2, "Master"},
      {"LS2", 2, "Master"}, {"Master", 2, "Master"}, {"LS1", 0, "LS1"},   {"Master", 3, "Master"},
  };
  for (const auto& r : rows) {
    remote.setPowerBy(r.before);
    CardState s;
    s.source = r.source;
    parse(s);
    EXPECT_EQ(remote.getPowerBy(), r.after) << r.before << " source " << int(r.source);
    EXPECT_EQ(remote.events.powerby, r.after);
  }
}

TEST_F(EventParserTest, EventsAreJudgedWithThePowerByBeforeTheNotification) {
  parse(CardState{});
  CardState s = with_event(LS1);
  s.source = 1;  // moves Master to LS1, but only after the events were judged
  EXPECT_EQ(parse(s).active, V{LS1});
  EXPECT_EQ(remote.getPowerBy(), "LS1");
  EXPECT_EQ(remote.getEventStatus(LS1), Shutting);
  EXPECT_EQ(parse(s).active, V{});
}

TEST_F(EventParserTest, ShortOrMissingInputChangesNothing) {
  unsigned char body[datagram::kBodySize] = {};
  body[AcFail] = 1;
  body[64] = 1;
  Lists l;
  EventParser(&remote, body, 95, l.restored, l.changed, l.active);
  EventParser(&remote, nullptr, 96, l.restored, l.changed, l.active);
  EventParser(nullptr, body, 96, l.restored, l.changed, l.active);
  EXPECT_TRUE(l.active.empty());
  for (int i = 0; i < kEventCount; ++i) EXPECT_EQ(remote.events.getRawStatus(i), Unknown) << i;
  EXPECT_EQ(remote.getUpsShutdownDelay(), 65535u);

  EventParser(&remote, body, 96, l.restored, l.changed, l.active);
  EXPECT_EQ(l.active, V{AcFail});
}

}  // namespace
