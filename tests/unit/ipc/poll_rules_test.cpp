// One poll cycle at a time, on the test's own thread: what each cycle does and returns.
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ipc/channel_frame.h"
#include "ipc/control_client.h"
#include "ipc/ipc_connection.h"
#include "ipc_test_support.h"

namespace {

using ipc::ControlClient;
using Read = ControlClient::Read;

class CountingConn : public IPCServerConnection {
 public:
  void OnConnect() override { ++connects; }
  void OnDisconnect() override { ++disconnects; }
  void OnError(const std::string& text) override { errors.push_back(text); }
  int connects = 0, disconnects = 0;
  std::vector<std::string> errors;
};

class PollRules : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(conn.Listen(dir.file("p.ipc"))); }

  void connect(ControlClient& c) {
    ASSERT_EQ(c.connect(dir.file("p.ipc")), ControlClient::Connect::Ok);
    ASSERT_EQ(conn.Poll(), 1);  // accepted
  }

  static std::string next(ControlClient& c, int ms = 1000) {
    std::string text;
    return c.read(text, ms) == Read::Message ? text : "<nothing>";
  }

  TempDir dir;
  CountingConn conn;
};

TEST(PollRulesBare, WithoutSocketsACycleReturnsAtOnce) {
  IPCServerConnection bare;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(bare.Poll(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(400));
  EXPECT_EQ(bare.Write("push:x"), 0);  // no peer: nothing sent
}

TEST_F(PollRules, AcceptAnswerAndCloseOneCycleEach) {
  conn.Wake();
  EXPECT_EQ(conn.Poll(), 0);  // a wake-up with nobody waiting
  ControlClient c;
  connect(c);
  EXPECT_EQ(conn.connects, 1);

  ASSERT_TRUE(c.send("start:"));
  EXPECT_EQ(conn.Poll(), 1);
  EXPECT_EQ(next(c), "response:1");
  EXPECT_TRUE(conn.IsAdvising());

  std::vector<unsigned char> f;
  ASSERT_TRUE(ipc::frame_text("stop:", f));
  ASSERT_EQ(::send(c.fd(), f.data(), 9, 0), 9);
  EXPECT_EQ(conn.Poll(), 0);  // not whole blocks: dropped, no answer
  EXPECT_EQ(next(c, 200), "<nothing>");

  c.close();
  EXPECT_EQ(conn.Poll(), 0);
  EXPECT_EQ(conn.disconnects, 1);
  EXPECT_FALSE(conn.IsAdvising());  // closing the peer switches pushes off
  EXPECT_TRUE(conn.errors.empty());

  ControlClient again;
  connect(again);  // listening again after the peer left
  EXPECT_EQ(conn.connects, 2);
}

TEST_F(PollRules, QueuedPushesWaitForTheirTurn) {
  const auto spacing = std::chrono::milliseconds(400);
  conn.SetPushLimits(8, spacing);
  ControlClient c;
  connect(c);
  ASSERT_TRUE(c.send("start:"));
  EXPECT_EQ(conn.Poll(), 1);
  EXPECT_EQ(next(c), "response:1");

  ASSERT_TRUE(conn.QueuePush("a"));
  ASSERT_TRUE(conn.QueuePush("b"));
  EXPECT_EQ(conn.Poll(), 0);  // the first push is due at once
  EXPECT_EQ(next(c), "push:a");
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(conn.Poll(), 0);  // waits out the spacing and writes nothing
  EXPECT_GE(std::chrono::steady_clock::now() - t0, spacing - std::chrono::milliseconds(50));
  EXPECT_EQ(next(c, 0), "<nothing>");
  EXPECT_EQ(conn.Poll(), 0);
  EXPECT_EQ(next(c), "push:b");
}

TEST_F(PollRules, AnIdlePeerCostsNoProcessorTime) {
  ControlClient c;
  connect(c);
  timespec cpu0{}, cpu1{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(conn.Poll(), 0);
  const auto waited = std::chrono::steady_clock::now() - t0;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
  const double cpu_ms = (cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
  std::printf("idle cycle with a peer: %.0f ms waited, %.3f ms of processor time\n",
              std::chrono::duration<double, std::milli>(waited).count(), cpu_ms);
  EXPECT_GE(waited, std::chrono::milliseconds(450));  // it waited for data, not for writability
  EXPECT_LT(cpu_ms, 50.0);
}

TEST_F(PollRules, FailuresOnThePeerSocketCloseOnlyThePeer) {
  {
    ControlClient c;
    connect(c);
    ASSERT_TRUE(c.send("start:"));
    EXPECT_EQ(conn.Poll(), 1);  // answered; the peer never reads it and leaves
  }
  EXPECT_EQ(conn.Poll(), 0);
  ASSERT_EQ(conn.errors, std::vector<std::string>{"Error receive"});
  EXPECT_EQ(conn.disconnects, 0);

  ControlClient c;
  connect(c);
  ASSERT_TRUE(c.send("start:"));
  ASSERT_EQ(::shutdown(c.fd(), SHUT_RD), 0);  // the answer has nowhere to go
  EXPECT_EQ(conn.Poll(), 0);
  EXPECT_EQ(conn.errors.back(), "Error send in request");

  ControlClient last;
  connect(last);  // the listening socket survived both
}

}  // namespace
