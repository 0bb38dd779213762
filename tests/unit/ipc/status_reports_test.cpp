#include "ipc/status_reports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/text_split.h"
#include "ipc_test_support.h"

namespace {

std::vector<std::string> lines_of(const std::string& report) { return ipc::split_escaped(report, '\n'); }

// The process-wide accepted-event set, put back after each test.
class SettingsReport : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = accepted_events->bits(); }
  void TearDown() override {
    for (int i = 0; i < kEventCount; ++i) accepted_events->set(i, (saved_ >> i) & 1u);
  }
  NOXConfig cfg;

 private:
  uint16_t saved_ = 0;
};

TEST_F(SettingsReport, HasTwentyTwoLinesWithTheScriptOff) {
  cfg.set_shut_delay(120);
  cfg.set_cancel_if(true);
  cfg.set_action(2);
  for (int i = 0; i < kEventCount; ++i) cfg.set_event_accept(i, i % 2 == 0);
  const std::string expected =
      "Event Accepted:\n"
      "Ac Fail: enable\n"
      "Battery Low: disable\n"
      "UPS Overload: enable\n"
      "UPS Over Temperature: disable\n"
      "Weekly Schedule Shutdown: enable\n"
      "Specific Day Schedule Shutdown: disable\n"
      "EMP Over Temperature: enable\n"
      "EMP Over Humidity: disable\n"
      "EMP Contact1 Alarm: enable\n"
      "EMP Contact2 Alarm: disable\n"
      "Battery Capacity Below Limit: enable\n"
      "Battery Backup Time Below Limit: disable\n"
      "Load segment 1 shutdown: enable\n"
      "Load segment 2 shutdown: disable\n"
      "\n"
      "Cancel Shutdown if events Restored in Shutdown Delay: enable\n"
      "Shutdown delay: 120s\n"
      "\n"
      "Run script before shutdown: disable\n"
      "\n"
      "Action: Sleep";
  const std::string report = protect_setting_report(cfg);
  EXPECT_EQ(report, expected);
  EXPECT_EQ(lines_of(report).size(), 22u);
}

TEST_F(SettingsReport, HasTwentyFourLinesWithTheScriptOn) {
  cfg.set_enable_script(true);
  cfg.set_script("/root/before shutdown.sh");
  cfg.set_max_script_time(90);
  cfg.set_action(1);
  const auto lines = lines_of(protect_setting_report(cfg));
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines[19], "Run script before shutdown: enable");
  EXPECT_EQ(lines[20], "Script: /root/before shutdown.sh");
  EXPECT_EQ(lines[21], "Script max execution time: 90s");
  EXPECT_EQ(lines[22], "");
  EXPECT_EQ(lines[23], "Action: Shutdown");
}

TEST_F(SettingsReport, NoAcceptedEventMeansFourteenDisables) {
  for (int i = 0; i < kEventCount; ++i) cfg.set_event_accept(i, false);
  const auto lines = lines_of(protect_setting_report(cfg));
  for (int i = 1; i <= kEventCount; ++i) EXPECT_NE(lines[i].find(": disable"), std::string::npos) << lines[i];
}

TEST_F(SettingsReport, AnActionOutsideTheTableShowsItsNumber) {
  cfg.set_action(7);  // only a hand-edited file can do this
  EXPECT_EQ(lines_of(protect_setting_report(cfg)).back(), "Action: 7");
}

TEST(FullStatusReport, OneConnectedRemoteGivesEightLines) {
  Non_Cluster root("", nullptr);
  add_connected(root, "ups1", 30);
  const std::string report = full_status_report(root);
  EXPECT_EQ(report,
            "ups1\n"
            "Device Mode: Model-ups1\n"
            "IP Address: 127.0.0.2\n"
            "Host Name: host-ups1\n"
            "Connection Status: Connected\n"
            "Shutdown Status: Normal\n"
            "UPS Shutdown Delay: 30s\n"
            "\\\n");  // the eighth line is a newline, escaped
  EXPECT_EQ(lines_of(report).size(), 8u);
}

TEST(FullStatusReport, AnUnconnectedRemoteShowsUnknowns) {
  Non_Cluster root("", nullptr);
  ClusterPtr room = root.addCluster("room");
  RemotePtr r = room->addRemote("ups2", "", "M", "");
  r->setConnStatus(NotConnected);
  r->setUpsShutdownDelay(30);  // not believed while the card is silent
  const auto lines = lines_of(ipc::split_escaped(full_status_report(root), '\n').at(0));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "ups2[room]");
  EXPECT_EQ(lines[2], "IP Address: ");
  EXPECT_EQ(lines[3], "Host Name: Unknown");
  EXPECT_EQ(lines[4], "Connection Status: Not Connected");
  EXPECT_EQ(lines[5], "Shutdown Status: Unknown");
  EXPECT_EQ(lines[6], "UPS Shutdown Delay: Unknown");
}

TEST(FullStatusReport, EachNestingLevelAddsOneBackslashBeforeItsNewlines) {
  Non_Cluster root("", nullptr);
  EXPECT_EQ(full_status_report(root), "");  // no remotes, no text
  ClusterPtr a = root.addCluster("A");
  ClusterPtr b = a->addCluster("B");
  add_connected(*b, "r", 5);
  root.addCluster("empty");
  const std::string block =
      "r[B]\nDevice Mode: Model-r\nIP Address: 127.0.0.2\nHost Name: host-r\n"
      "Connection Status: Connected\nShutdown Status: Normal\nUPS Shutdown Delay: 5s\n\\\n";
  EXPECT_EQ(full_status_report(*b), block);
  // One level up every newline gains a backslash; the backslashes themselves do not.
  const std::string in_a =
      "r[B]\\\nDevice Mode: Model-r\\\nIP Address: 127.0.0.2\\\nHost Name: host-r\\\n"
      "Connection Status: Connected\\\nShutdown Status: Normal\\\nUPS Shutdown Delay: 5s\\\n\\\\\n";
  EXPECT_EQ(full_status_report(*a), in_a);
  const std::string in_root =
      "r[B]\\\\\nDevice Mode: Model-r\\\\\nIP Address: 127.0.0.2\\\\\nHost Name: host-r\\\\\n"
      "Connection Status: Connected\\\\\nShutdown Status: Normal\\\\\nUPS Shutdown Delay: 5s\\\\\n\\\\\\\n"
      "\n";  // then the empty cluster's empty line
  EXPECT_EQ(full_status_report(root), in_root);
}

}  // namespace
