// The main thread's handling of queued notifications: which payloads are dropped, what a
// handled one changes, logs, tells logged-in users and pushes to a user interface.
#include <gtest/gtest.h>

#include <cstring>

#include "remote_msg.h"
#include "sender_fixtures.h"

using namespace sendertest;

namespace {

class RemoteMsgTest : public AgentStateTest {
 protected:
  void SetUp() override {
    AgentStateTest::SetUp();
    savedAccepted_ = accepted_events->bits();
    for (int i = 0; i < kEventCount; ++i) accepted_events->set(i, (kDefaultAcceptedEvents >> i) & 1u);
    ups1 = root.addRemote("ups1", "", "", "Master");
    ups1->setConnStatus(NotConnected);  // resolved and watched, nothing heard yet
    logged();
  }
  void TearDown() override {
    for (int i = 0; i < kEventCount; ++i) accepted_events->set(i, (savedAccepted_ >> i) & 1u);
    AgentStateTest::TearDown();
  }

  // A card's notification as the receiver queues it: the bytes after the two marks.
  static RemotePayload payload(const RemotePtr& remote, const CardState& state) {
    unsigned char wire[datagram::kNotificationSize] = {};
    std::size_t len = 0;
    EXPECT_TRUE(build_notification(state, wire, len));
    RemotePayload p;
    p.remote = remote;
    std::memcpy(p.data, wire + datagram::kMarkSize, len - datagram::kMarkSize);
    p.len = static_cast<uint32_t>(len - datagram::kMarkSize);
    return p;
  }
  static CardState plain(uint16_t delay = 300, uint8_t source = 2) {
    CardState s;
    s.delay = delay;
    s.source = source;
    return s;
  }

  void handle(std::vector<RemotePayload> payloads) {
    RemoteMsgContext ctx{root, cfg, inSequence, pushes,
                         [](const Remote& r) { return wxString("remote_info:" + r.name + "(as pushed in sequence"); }};
    handle_remote_payloads(payloads, ctx);
  }
  void handle(RemotePayload p) {
    std::vector<RemotePayload> v;
    v.push_back(std::move(p));
    handle(std::move(v));
  }

  Non_Cluster root{"", nullptr};
  RemotePtr ups1;
  NOXConfig cfg{"nox-host"};
  bool inSequence = false;
  RecordingPushSink pushes;

 private:
  uint16_t savedAccepted_ = 0;
};

TEST_F(RemoteMsgTest, PayloadsThatCannotBeHandledAreDroppedAndTheNextOneStillIs) {
  struct Case {
    const char* what;
    std::function<RemotePayload()> make;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"no remote",
       [] { return payload(nullptr, plain()); },
       "Communication Thread post payload with null remote"},
      {"remote removed from the tree",
       [this] {
         RemotePayload p = payload(ups1, plain());
         EXPECT_TRUE(root.removeNode("ups1"));
         return p;
       },
       "Remote ups1 is not exist"},
      {"remote removed and added again under the same name",
       [this] {
         RemotePayload p = payload(ups1, plain());
         EXPECT_TRUE(root.removeNode("ups1"));
         EXPECT_TRUE(root.addRemote("ups1", "", "", "Master"));
         return p;
       },
       "Remote ups1 is not exist"},
      {"95 bytes",
       [this] {
         RemotePayload p = payload(ups1, plain());
         p.len = 95;
         return p;
       },
       "Remote ups1 package size < 96"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    root.children.clear();
    root.trash.clear();
    ups1 = root.addRemote("ups1", "", "", "Master");
    ups1->setConnStatus(NotConnected);
    RemotePtr ups2 = root.addRemote("ups2", "", "", "Master");
    ups2->setConnStatus(NotConnected);
    pushes.texts.clear();
    wall_records().clear();
    RemotePtr old = ups1;
    std::vector<RemotePayload> batch;
    batch.push_back(c.make());
    batch.push_back(payload(ups2, plain()));
    logged();

    handle(std::move(batch));
    const Lines log = logged();
    EXPECT_EQ(count_of(log, c.message), 1u);
    EXPECT_EQ(old->getConnStatus(), NotConnected);
    if (Remote* now = root.findRemote("ups1")) {
      EXPECT_NE(now->getConnStatus(), Connected);
    }
    EXPECT_FALSE(has_line(log, "Set the communication status of ups1 to Connected"));
    // The payload behind it was handled.
    EXPECT_EQ(ups2->getConnStatus(), Connected);
    EXPECT_EQ(pushes.texts, Lines{"remote_msg:ups2(300,2,11111111111111,,"});
  }
}

TEST_F(RemoteMsgTest, NinetySixBytesAreEnough) {
  RemotePayload p = payload(ups1, plain());
  ASSERT_EQ(p.len, 96u);
  handle(std::move(p));
  EXPECT_EQ(ups1->getConnStatus(), Connected);
  EXPECT_EQ(ups1->getUpsShutdownDelay(), 300u);
}

TEST_F(RemoteMsgTest, bNeedDeleteDropsTheRestOfTheBatch) {
  std::vector<RemotePayload> batch;
  batch.push_back(payload(ups1, plain()));
  batch.push_back(payload(ups1, plain()));
  bNeedDelete = true;
  handle(std::move(batch));
  bNeedDelete = false;
  EXPECT_EQ(count_of(logged(), "Remote is bNeedDelete"), 1u);
  EXPECT_EQ(ups1->getConnStatus(), NotConnected);
  EXPECT_TRUE(pushes.texts.empty());
}

TEST_F(RemoteMsgTest, TheBodyIsDecryptedAndDumpedBeforeItIsParsed) {
  CardState s = plain();
  s.warnings[OverTp] = 7;
  unsigned char body[datagram::kBodySize];
  encode_notification_body(s, body);
  handle(payload(ups1, s));
  EXPECT_TRUE(has_line(logged(), "Receive data: " + body_hex_dump(body, sizeof body) + " from ups1"));
  EXPECT_EQ(ups1->getEventValue(OverTp), 7);
}

TEST_F(RemoteMsgTest, OnlyTheNotificationThatConnectsARemoteLogsTheConnection) {
  struct Case {
    int before;
    bool logs;
  };
  for (const Case& c : {Case{NotResolved, true}, Case{NotConnected, true}, Case{Connected, false}}) {
    SCOPED_TRACE("status before " + std::to_string(c.before));
    ups1->setConnStatus(c.before);
    LogMemo::instance().clear();
    logged();
    handle(payload(ups1, plain()));
    const Lines log = logged();
    EXPECT_EQ(ups1->getConnStatus(), Connected);
    EXPECT_EQ(has_line(log, "Set the communication status of ups1 to Connected"), c.logs);
    EXPECT_EQ(has_line(log, "Connect to ups1"), c.logs);
  }
}

TEST_F(RemoteMsgTest, ASecondNotificationLogsNoConnection) {
  handle(payload(ups1, plain()));
  EXPECT_TRUE(has_line(logged(), "Connect to ups1"));
  handle(payload(ups1, plain()));
  const Lines log = logged();
  EXPECT_FALSE(has_line(log, "Set the communication status of ups1 to Connected"));
  EXPECT_FALSE(has_line(log, "Connect to ups1"));
}

TEST_F(RemoteMsgTest, AnUnreasonableDelayIsReportedWhenItAppearsOrChanges) {
  ASSERT_TRUE(cfg.set_shut_delay(120));
  ASSERT_EQ(cfg.setting_time(), 120u);
  struct Step {
    uint16_t delay;
    bool reported;
  };
  for (const Step& s : {Step{60, true}, Step{60, false}, Step{90, true}, Step{180, false}, Step{120, true}}) {
    SCOPED_TRACE("delay " + std::to_string(s.delay));
    wall_records().clear();
    handle(payload(ups1, plain(s.delay)));
    const std::string line = "ups1: The UPS shutdown delay (" + std::to_string(s.delay) +
                             ")s isn't greater than the setting time (120)s";
    EXPECT_EQ(has_line(logged(), line), s.reported);
    EXPECT_EQ(wall_records(), s.reported ? Lines{"unreasonable_time ups1 120 " + std::to_string(s.delay)} : Lines{});
  }
}

TEST_F(RemoteMsgTest, ANotificationWithoutEventsPushesTheRemoteMessage) {
  handle(payload(ups1, plain(300, 2)));
  const std::string text = "remote_msg:ups1(300,2,11111111111111,,";
  EXPECT_EQ(pushes.texts, Lines{text});
  EXPECT_TRUE(has_line(logged(), "==== Server send warning:" + text));
  EXPECT_TRUE(wall_records().empty());
}

TEST_F(RemoteMsgTest, DuringTheShutdownSequenceTheRemoteInfoIsPushedInstead) {
  inSequence = true;
  handle(payload(ups1, plain()));
  EXPECT_EQ(pushes.texts, Lines{"remote_info:ups1(as pushed in sequence"});
  EXPECT_TRUE(has_line(logged(), "==== Server send info:remote_info:ups1(as pushed in sequence"));
}

TEST_F(RemoteMsgTest, WarningsAndRestorationsAreLoggedToldAndPushed) {
  CardState warn = plain();
  warn.warnings[OverTp] = 5;
  warn.warnings[EMPHum] = 2;
  handle(payload(ups1, warn));
  Lines log = logged();
  EXPECT_EQ(wall_records(), (Lines{"event_warning ups1 3", "event_warning ups1 7"}));
  EXPECT_TRUE(has_line(log, "Warning message from ups1, reason: UPS Over Temperature"));
  EXPECT_TRUE(has_line(log, "Warning message from ups1, reason: EMP Over Humidity"));
  EXPECT_EQ(pushes.texts.back(), "remote_msg:ups1(300,2,11121112111111,,3.7");

  // The same values again change nothing.
  wall_records().clear();
  handle(payload(ups1, warn));
  EXPECT_TRUE(wall_records().empty());
  EXPECT_EQ(pushes.texts.back(), "remote_msg:ups1(300,2,11121112111111,,");

  handle(payload(ups1, plain()));
  log = logged();
  EXPECT_EQ(wall_records(), (Lines{"event_restore ups1 3", "event_restore ups1 7"}));
  EXPECT_TRUE(has_line(log, "ups1: UPS internal temperature return to normal"));
  EXPECT_TRUE(has_line(log, "ups1: EMP humidity return to normal"));
  EXPECT_EQ(pushes.texts.back(), "remote_msg:ups1(300,2,11111111111111,3.7,");
}

TEST_F(RemoteMsgTest, PresentEventsAreLoggedAsShuttingOrUnacceptedOnce) {
  CardState s = plain();
  s.events[AcFail] = true;    // accepted by default
  s.events[Overload] = true;  // not accepted by default
  handle(payload(ups1, s));
  Lines log = logged();
  EXPECT_EQ(count_of(log, "Shutting message from ups1, reason: Ac Fail"), 1u);
  EXPECT_EQ(count_of(log, "Unaccepted shutting message from ups1, reason: UPS Overload"), 1u);
  EXPECT_TRUE(LogMemo::instance().is_shutting("ups1", AcFail));
  EXPECT_EQ(pushes.texts.back(), "remote_msg:ups1(300,2,31211111111111,,");
  EXPECT_TRUE(wall_records().empty());  // present events are not warnings to tell

  handle(payload(ups1, s));
  log = logged();
  EXPECT_EQ(count_of(log, "Shutting message from ups1, reason: Ac Fail"), 0u);
  EXPECT_EQ(count_of(log, "Unaccepted shutting message from ups1, reason: UPS Overload"), 0u);
}

TEST_F(RemoteMsgTest, PayloadsAreHandledInArrivalOrder) {
  RemotePtr ups2 = root.addRemote("ups2", "", "", "Master");
  std::vector<RemotePayload> batch;
  batch.push_back(payload(ups2, plain(400, 2)));
  batch.push_back(payload(ups1, plain(300, 2)));
  batch.push_back(payload(ups2, plain(500, 2)));
  handle(std::move(batch));
  EXPECT_EQ(pushes.texts, (Lines{"remote_msg:ups2(400,2,11111111111111,,", "remote_msg:ups1(300,2,11111111111111,,",
                                 "remote_msg:ups2(500,2,11111111111111,,"}));
}

}  // namespace
