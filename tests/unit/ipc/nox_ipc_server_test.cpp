// The agent's server: the full status push after "start:", pushes that never make the
// caller wait, commands through the socket, and what it logs.
#include "ipc/nox_ipc_server.h"

#include <unistd.h>
#include <wx/log.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ipc/control_client.h"
#include "ipc_test_support.h"
#include "logger/log_ops.h"

namespace {

using ipc::ControlClient;
using Read = ControlClient::Read;

class CaptureLog : public wxLog {
 public:
  std::vector<std::string> lines;

 protected:
  void DoLogTextAtLevel(wxLogLevel, const wxString& msg) override { lines.push_back(std::string(msg.mb_str())); }
};

// Installs a capturing log target on this (the main) thread for the test's duration.
class LogCapture {
 public:
  LogCapture() : previous_(wxLog::SetActiveTarget(&capture_)) {}
  ~LogCapture() { wxLog::SetActiveTarget(previous_); }
  bool contains(const std::string& text) {
    wxLog::FlushActive();
    for (const auto& l : capture_.lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

 private:
  CaptureLog capture_;
  wxLog* previous_;
};

class NoxServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("nox.ipc");
    host.sink = &server;
    ASSERT_TRUE(server.Create(wxString(path)));
  }
  void open(ControlClient& c) { ASSERT_EQ(c.connect(path), ControlClient::Connect::Ok) << c.error(); }
  std::string ask(ControlClient& c, const std::string& text) {
    std::string answer;
    EXPECT_EQ(c.ask(text, answer, 3000), Read::Message) << text;
    return answer;
  }
  static std::string next(ControlClient& c, int ms = 3000) {
    std::string text;
    return c.read(text, ms) == Read::Message ? text : "<nothing>";
  }

  TempDir dir;
  std::string path;
  FakeHost host;
  NOXIPCServer server{host};
};

TEST_F(NoxServerTest, StartSendsTheWholeTreeAgain) {
  ClusterPtr a = host.tree.addCluster("A");
  add_connected(*a, "r1");
  ClusterPtr b = host.tree.addCluster("B");
  add_connected(*b, "r2");
  server.connection()->SetPushLimits(64, std::chrono::milliseconds(50));

  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "start:"), "response:1");
  EXPECT_EQ(host.run_jobs(), std::vector<std::string>{"push"});
  EXPECT_EQ(next(c), "push:remote_info:r1(2,30,0,11111111111111,127.0.0.2,host-r1");
  EXPECT_EQ(next(c), "push:remote_info:r2(2,30,0,11111111111111,127.0.0.2,host-r2");

  EXPECT_EQ(ask(c, "start:"), "response:0");  // already on, but the tree comes again
  EXPECT_EQ(host.run_jobs(), std::vector<std::string>{"push"});
  EXPECT_EQ(next(c).rfind("push:remote_info:r1(", 0), 0u);
  EXPECT_EQ(next(c).rfind("push:remote_info:r2(", 0), 0u);
  EXPECT_EQ(ask(c, "stop:"), "response:1");
  EXPECT_EQ(host.pending_jobs(), 0u);
}

TEST_F(NoxServerTest, NothingIsPushedBeforeStart) {
  server.connection()->SetPushLimits(64, std::chrono::milliseconds(0));
  server.Advise("timeout:no peer yet");
  ControlClient c;
  open(c);
  server.Advise("timeout:not started");
  EXPECT_EQ(ask(c, "start:"), "response:1");
  host.run_jobs();  // an empty tree: nothing to push
  server.Advise("timeout:u1");
  EXPECT_EQ(next(c), "push:timeout:u1");
  EXPECT_EQ(next(c, 300), "<nothing>");
}

TEST_F(NoxServerTest, AdviseNeverMakesTheCallerWait) {
  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "start:"), "response:1");
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 50; ++i) server.Advise(wxString::Format("shut_seq:2%d", 50 - i));
  server.Advise("shut_seq:4");
  const auto took = std::chrono::steady_clock::now() - t0;
  // Fifty-one pushes at one a second would have held the caller for close to a minute.
  EXPECT_LT(took, std::chrono::milliseconds(500));
  // The countdown collapsed: at most the tick already on its way, then the latest, then the end.
  std::vector<std::string> got;
  while (got.size() < 5 && (got.empty() || got.back() != "push:shut_seq:4")) got.push_back(next(c));
  ASSERT_GE(got.size(), 2u);
  ASSERT_LE(got.size(), 3u);
  EXPECT_EQ(got[got.size() - 2], "push:shut_seq:21");
  EXPECT_EQ(got.back(), "push:shut_seq:4");
}

TEST_F(NoxServerTest, RequestsRunTheCommands) {
  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "request:get.exec_path"), "response:/srv/nox/");
  EXPECT_EQ(ask(c, "request:set.cfg.shutdelay)12"), "response:1");
  EXPECT_EQ(ask(c, "request:set.cfg.shutdelay)-1"), "response:0");
  EXPECT_EQ(host.cfg.shut_delay(), 12u);
  EXPECT_EQ(ask(c, "request:face_exit"), "response:1");
  EXPECT_EQ(host.run_jobs(), std::vector<std::string>{"exit"});
  EXPECT_EQ(host.unlocked_uses(), 0);
}

TEST_F(NoxServerTest, StoppingWithAPeerConnectedIsQuickAndRemovesTheSocket) {
  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "start:"), "response:1");
  auto other = std::make_unique<NOXIPCServer>(host);
  ASSERT_TRUE(other->Create(wxString(dir.file("other.ipc"))));
  const auto t0 = std::chrono::steady_clock::now();
  other.reset();
  std::printf("server stopped in %.1f ms\n",
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  EXPECT_FALSE(file_exists(dir.file("other.ipc")));
  EXPECT_TRUE(file_exists(path));
}

TEST(NoxServerLog, RefusalsDropsAndPushesAreLogged) {
  TempDir dir;
  FakeHost host;
  NOXIPCServerConn conn(host);
  LogCapture log;
  const bool saved_debug = debug_mode;
  debug_mode = true;

  const uid_t stranger = ::geteuid() + 12345;
  EXPECT_FALSE(conn.AcceptPeer(stranger));
  EXPECT_TRUE(log.contains("IPC(Server): refused a control connection from uid " + std::to_string(stranger)));
  EXPECT_TRUE(conn.AcceptPeer(0));

  // Driven by hand on this thread, so the log lines arrive at once.
  ASSERT_TRUE(conn.Listen(dir.file("l.ipc")));
  ControlClient c;
  ASSERT_EQ(c.connect(dir.file("l.ipc")), ControlClient::Connect::Ok);
  ASSERT_EQ(conn.Poll(), 1);
  ASSERT_TRUE(c.send("start:"));
  ASSERT_EQ(conn.Poll(), 1);
  EXPECT_TRUE(log.contains("IPC(Server): start advise"));
  conn.SetPushLimits(2, std::chrono::milliseconds(0));
  for (const char* t : {"timeout:a", "timeout:b", "timeout:c", "timeout:d", "timeout:e"}) conn.QueuePush(t);
  conn.Poll();
  EXPECT_TRUE(log.contains("IPC(Server): 3 status pushes dropped, the push queue was full"));
  EXPECT_TRUE(log.contains("IPC(Server): Advise timeout:d"));
  debug_mode = saved_debug;
}

}  // namespace
