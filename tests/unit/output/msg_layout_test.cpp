#include "output/msg_output.h"

#include "helper/clock.h"
#include "model/events.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kNow = "2013-05-14 09:41:07";

TEST(MsgLayout, EventMessagesHaveFiveLines) {
  struct Case {
    std::string got;
    std::string want;
  } cases[] = {
      {compose_event_warning("ups-a", AcFail, kNow),
       "Noxguard Message:\nTopic: Event Warning\nWhen: 2013-05-14 09:41:07\nWho: ups-a\n"
       "What: Utility power is not available\n"},
      {compose_event_restore("ups-a", AcFail, kNow),
       "Noxguard Message:\nTopic: Event Restore\nWhen: 2013-05-14 09:41:07\nWho: ups-a\n"
       "What: Utility power has restored\n"},
      {compose_event_warning("rack 2", LS2, kNow),
       "Noxguard Message:\nTopic: Event Warning\nWhen: 2013-05-14 09:41:07\nWho: rack 2\n"
       "What: Load segment 2 shutdown warning\n"},
      // The device delay comes first in the text although it is the last argument.
      {compose_unreasonable_time("ups-a", 90, 30, kNow),
       "Noxguard Message:\nTopic: Unreasonable Time\nWhen: 2013-05-14 09:41:07\nWho: ups-a\n"
       "What: The UPS shutdown delay (30)s isn't greater than the setting time (90)s\n"},
      {compose_unreasonable_time("ups-a", 4294967295u, 4294967294u, kNow),
       "Noxguard Message:\nTopic: Unreasonable Time\nWhen: 2013-05-14 09:41:07\nWho: ups-a\n"
       "What: The UPS shutdown delay (4294967294)s isn't greater than the setting time (4294967295)s\n"},
      // An event code outside the catalogue reads as its number.
      {compose_event_restore("ups-a", 14, kNow),
       "Noxguard Message:\nTopic: Event Restore\nWhen: 2013-05-14 09:41:07\nWho: ups-a\nWhat: 14\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, c.got);
}

TEST(MsgLayout, Announcements) {
  struct Case {
    std::string got;
    std::string want;
  } cases[] = {
      {compose_announce_delay(1, 120), "Noxguard Message:\nSystem will be Shutdown after (120)s delay\n"},
      {compose_announce_delay(0, 0), "Noxguard Message:\nSystem will be Event Warning after (0)s delay\n"},
      {compose_announce_script(2, 60),
       "Noxguard Message:\nExecuting script... in (60)s\n"
       "System will be Sleep as soon as the script done or the time reached\n"},
      // An Action from a hand-edited file that no table entry names.
      {compose_announce_delay(7, 5), "Noxguard Message:\nSystem will be 7 after (5)s delay\n"},
      {compose_announce_script(-3, 65536),
       "Noxguard Message:\nExecuting script... in (65536)s\n"
       "System will be -3 as soon as the script done or the time reached\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, c.got);
}

// Keeps what would have gone to wall.
class RecordingWall : public NOXMsgOutputWall {
 public:
  void broadcast(std::string& text) override {
    sent.push_back(text);
    text.clear();
  }
  std::vector<std::string> sent;
};

// Local time of the fake clock, in a fixed zone.
class FixedTime : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    had_tz_ = tz != nullptr;
    if (had_tz_) saved_tz_ = tz;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  void TearDown() override {
    if (had_tz_)
      setenv("TZ", saved_tz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

  FakeClock clock_{1700000000};  // 2023-11-14 22:13:20 UTC
  ScopedClock use_{&clock_};
  bool had_tz_ = false;
  std::string saved_tz_;
};

TEST_F(FixedTime, WallOperationsBroadcastTheComposedMessages) {
  RecordingWall wall;
  wall.event_warning("ups-a", AcFail);
  wall.event_restore("ups-a", Overload);
  clock_.advance(61);
  wall.unreasonable_time("ups-b", 180, 120);
  wall.announce_delay(1, 120);
  wall.announce_script(2, 60);
  ASSERT_EQ(5u, wall.sent.size());
  EXPECT_EQ(compose_event_warning("ups-a", AcFail, "2023-11-14 22:13:20"), wall.sent[0]);
  EXPECT_EQ(compose_event_restore("ups-a", Overload, "2023-11-14 22:13:20"), wall.sent[1]);
  EXPECT_EQ(compose_unreasonable_time("ups-b", 180, 120, "2023-11-14 22:14:21"), wall.sent[2]);
  EXPECT_EQ(compose_announce_delay(1, 120), wall.sent[3]);
  EXPECT_EQ(compose_announce_script(2, 60), wall.sent[4]);
  // The wall variant keeps nothing of its own.
  EXPECT_EQ("", wall.who());
  EXPECT_TRUE(wall.what().empty());
}

TEST_F(FixedTime, ConsoleVariantPrintsFourLines) {
  struct Case {
    void (*call)(NOXMsgOutputCUI&);
    std::string want;
  } cases[] = {
      {[](NOXMsgOutputCUI& o) { o.event_warning("ups-a", AcFail); },
       "Topic: Event Warning\nWhen: 2023-11-14 22:13:20\nWho: ups-a\nWhat: Utility power is not available\n"},
      {[](NOXMsgOutputCUI& o) { o.event_restore("ups%s", BatteryLow); },
       "Topic: Event Restore\nWhen: 2023-11-14 22:13:20\nWho: ups%s\n"
       "What: The UPS has return from a low battery condition\n"},
      {[](NOXMsgOutputCUI& o) { o.unreasonable_time("ups-a", 90, 30); },
       "Topic: Unreasonable Time\nWhen: 2023-11-14 22:13:20\nWho: ups-a\n"
       "What: ups-a: The UPS shutdown delay (30)s isn't greater than the setting time (90)s\n"},
  };
  for (const auto& c : cases) {
    NOXMsgOutputCUI cui;
    ::testing::internal::CaptureStdout();
    c.call(cui);
    EXPECT_EQ(c.want, ::testing::internal::GetCapturedStdout());
  }
}

TEST(MsgOutputBase, KeepsTheSourceAndTheTranslatedDescription) {
  NOXMsgOutput out;
  out.event_warning("ups-a", EMPHum);
  EXPECT_EQ("ups-a", out.who());
  EXPECT_EQ(wxString("EMP humidity is over threshold"), out.what());
  out.event_restore("ups-b", EMPHum);
  EXPECT_EQ("ups-b", out.who());
  EXPECT_EQ(wxString("EMP humidity return to normal"), out.what());
  out.unreasonable_time("ups-c", 90, 30);
  EXPECT_EQ("ups-c", out.who());
  EXPECT_EQ(wxString("ups-c: The UPS shutdown delay (30)s isn't greater than the setting time (90)s"), out.what());
}

std::shared_ptr<NOXMsgOutput> make_recorder() { return std::make_shared<RecordingWall>(); }

TEST(MsgOutputFactory, MakesWallOutputsUnlessATestSwapsInAnother) {
  auto made = make_msg_output();
  ASSERT_NE(nullptr, made);
  EXPECT_NE(nullptr, std::dynamic_pointer_cast<NOXMsgOutputWall>(made));
  EXPECT_NE(made, make_msg_output());  // one object per message

  set_msg_output_factory(&make_recorder);
  EXPECT_NE(nullptr, std::dynamic_pointer_cast<RecordingWall>(make_msg_output()));
  set_msg_output_factory(nullptr);
  auto restored = make_msg_output();
  EXPECT_NE(nullptr, std::dynamic_pointer_cast<NOXMsgOutputWall>(restored));
  EXPECT_EQ(nullptr, std::dynamic_pointer_cast<RecordingWall>(restored));
}

}  // namespace
