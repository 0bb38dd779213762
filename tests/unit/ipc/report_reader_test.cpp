#include "ipc/report_reader.h"

#include <gtest/gtest.h>

#include "ipc/push_bodies.h"
#include "ipc/status_reports.h"
#include "ipc_test_support.h"

namespace {

using ipc::PushReport;

TEST(ReportReader, ReadsNestedClustersBackFromTheReport) {
  Non_Cluster root("", nullptr);
  add_connected(root, "ups[0]");
  add_connected(root, "ups1");
  ClusterPtr a = root.addCluster("A");
  RemotePtr silent = a->addRemote("r1", "", "M1", "");
  silent->setConnStatus(NotConnected);
  ClusterPtr b = a->addCluster("B");
  add_connected(*b, "r2", 90);
  a->addCluster("empty");

  const ipc::ClusterReport top = ipc::read_full_status_report(full_status_report(root));
  ASSERT_EQ(top.order, (std::vector<bool>{true, true, false}));
  ASSERT_EQ(top.remotes.size(), 2u);
  EXPECT_EQ(top.name, "");
  EXPECT_EQ(top.remotes[0].name, "ups[0]");  // not every remote of the level has it: part of the name
  EXPECT_EQ(top.remotes[0].cluster, "");
  EXPECT_EQ(top.remotes[0].connection, "Connected");
  EXPECT_EQ(top.remotes[0].ups_shutdown_delay, "30s");

  const ipc::ClusterReport& ra = top.clusters.at(0);
  EXPECT_EQ(ra.name, "A");
  ASSERT_EQ(ra.order, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(ra.remotes[0].name, "r1");
  EXPECT_EQ(ra.remotes[0].model, "M1");
  EXPECT_EQ(ra.remotes[0].host_name, "Unknown");
  EXPECT_EQ(ra.remotes[0].connection, "Not Connected");
  EXPECT_EQ(ra.remotes[0].ups_shutdown_delay, "Unknown");
  ASSERT_EQ(ra.clusters.size(), 2u);
  EXPECT_EQ(ra.clusters[0].name, "B");
  ASSERT_EQ(ra.clusters[0].remotes.size(), 1u);
  EXPECT_EQ(ra.clusters[0].remotes[0].name, "r2");
  EXPECT_EQ(ra.clusters[0].remotes[0].ip, "127.0.0.2");
  EXPECT_EQ(ra.clusters[0].remotes[0].ups_shutdown_delay, "90s");
  EXPECT_TRUE(ra.clusters[1].order.empty());  // the empty cluster
}

TEST(ReportReader, AnEmptyReportIsAnEmptyTree) {
  const ipc::ClusterReport r = ipc::read_full_status_report("");
  EXPECT_TRUE(r.order.empty());
}

TEST(ReportReader, TextsOutOfLayoutEndTheirLevel) {
  // A line that is neither a remote block nor a cluster's report once sent the reader
  // into itself for ever.
  for (const std::string& text : std::vector<std::string>{"\x08", "garbage", "a\nb", std::string(300, '\\') + "\n"}) {
    const ipc::ClusterReport r = ipc::read_full_status_report(text);
    EXPECT_TRUE(r.remotes.empty()) << text;
  }
}

TEST(PushReader, ReadsEveryBodyTheAgentWrites) {
  Non_Cluster root("", nullptr);
  Remote* r = add_connected(root, "odd(name),x", 45);
  r->setPowerSource(2);
  r->hostName = "h1.example";
  PushReport p;

  ASSERT_TRUE(ipc::read_push(remote_info_text(*r), p));
  EXPECT_EQ(p.kind, PushReport::RemoteInfo);
  EXPECT_EQ(p.name, "odd(name),x");
  EXPECT_EQ(p.connection, 2);
  EXPECT_EQ(p.delay, 45);
  EXPECT_EQ(p.power, 2);
  EXPECT_EQ(p.events, "11111111111111");
  EXPECT_EQ(p.ip, "127.0.0.2");
  EXPECT_EQ(p.host_name, "h1.example");

  ASSERT_TRUE(ipc::read_push(remote_msg_text(*r, {0, 3}, {}), p));
  EXPECT_EQ(p.kind, PushReport::RemoteMsg);
  EXPECT_EQ(p.name, "odd(name),x");
  EXPECT_EQ(p.restored, (std::vector<int>{0, 3}));
  EXPECT_TRUE(p.changed.empty());

  struct Seq {
    std::string body;
    int stage;
    bool has_seconds;
    long long seconds;
  } seqs[] = {{shut_seq_text(1), 1, false, 0}, {shut_seq_text(2, 120), 2, true, 120},
              {shut_seq_text(2, -1), 2, true, -1}, {shut_seq_text(3, 7), 3, true, 7}};
  for (const auto& s : seqs) {
    ASSERT_TRUE(ipc::read_push(s.body, p)) << s.body;
    EXPECT_EQ(p.stage, s.stage);
    EXPECT_EQ(p.has_seconds, s.has_seconds);
    EXPECT_EQ(p.seconds, s.seconds);
  }

  ASSERT_TRUE(ipc::read_push(timeout_text({"a,b", "c"}), p));
  EXPECT_EQ(p.names, (std::vector<std::string>{"a,b", "c"}));

  for (const char* bad : {"remote_info:x(2,30", "remote_msg:x(a,0,1,,", "shut_seq:", "shut_seq:9", "hello"})
    EXPECT_FALSE(ipc::read_push(bad, p)) << bad;
}

}  // namespace
