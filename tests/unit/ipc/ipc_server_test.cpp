// The channel over a real socket: one server thread, one peer at a time, answers, pushes,
// and peers that misbehave.
#include "ipc/ipc_server.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ipc/channel_frame.h"
#include "ipc/control_client.h"
#include "ipc_test_support.h"

namespace {

using ipc::ControlClient;
using Read = ControlClient::Read;
using steady = std::chrono::steady_clock;

// Answers "len:N" with N bytes, records every body and every hook call.
class RecordingConn : public IPCServerConnection {
 public:
  std::string OnRequest(const std::string& body) override {
    std::lock_guard<std::mutex> g(m);
    bodies.push_back(body);
    if (body.rfind("len:", 0) == 0) return std::string(std::stoul(body.substr(4)), 'a');
    return "1";
  }
  void OnError(const std::string& text) override {
    std::lock_guard<std::mutex> g(m);
    errors.push_back(text);
  }
  void OnDisconnect() override { ++disconnects; }
  void OnConnect() override { ++connects; }
  bool AcceptPeer(uid_t uid) override {
    seen_uid = uid;
    return allow;
  }
  void OnPushWritten(const std::string& body, int result) override {
    std::lock_guard<std::mutex> g(m);
    written.push_back({steady::now(), result});
  }

  // The hook runs just after the bytes leave, so the peer may have them first.
  std::size_t wait_written(std::size_t n) {
    for (int i = 0; i < 200; ++i) {
      {
        std::lock_guard<std::mutex> g(m);
        if (written.size() >= n) return written.size();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard<std::mutex> g(m);
    return written.size();
  }

  std::vector<std::string> errors_copy() {
    std::lock_guard<std::mutex> g(m);
    return errors;
  }

  std::mutex m;
  std::vector<std::string> bodies;
  std::vector<std::string> errors;
  std::vector<std::pair<steady::time_point, int>> written;
  std::atomic<int> disconnects{0}, connects{0};
  std::atomic<bool> allow{true};
  std::atomic<uid_t> seen_uid{static_cast<uid_t>(-2)};
};

class RecordingServer : public IPCServer {
 public:
  RecordingConn* conn() const { return static_cast<RecordingConn*>(conn_); }

 protected:
  IPCServerConnection* OnAcceptConnection() override { return new RecordingConn; }
};

class ChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("nox.ipc");
    ASSERT_TRUE(server.Create(path));
  }

  // A connected client, or a failed test.
  void open(ControlClient& c) { ASSERT_EQ(c.connect(path), ControlClient::Connect::Ok) << c.error(); }

  std::string ask(ControlClient& c, const std::string& text) {
    std::string answer;
    EXPECT_EQ(c.ask(text, answer, 3000), Read::Message) << text;
    return answer;
  }

  // True when nothing at all arrives within ms.
  static bool silent(ControlClient& c, int ms) {
    std::string text;
    return c.read(text, ms) == Read::Timeout;
  }

  static bool send_raw(ControlClient& c, const void* data, std::size_t len) {
    return ::send(c.fd(), data, len, MSG_NOSIGNAL) == static_cast<ssize_t>(len);
  }

  TempDir dir;
  std::string path;
  RecordingServer server;
};

TEST_F(ChannelTest, AnswersStartStopAndUnknownTexts) {
  ControlClient c;
  open(c);
  const std::pair<std::string, std::string> steps[] = {
      {"stop:", "response:0"},          // pushes start off
      {"start:", "response:1"},
      {"start:with a body", "response:0"},
      {"stop:anything", "response:1"},
      {"stop:", "response:0"},
      {"start", "response:0"},          // no colon: no known prefix
      {"xrequest:a", "response:0"},     // a prefix counts only at the very start
      {std::string(1, '\0'), "response:0"},  // a block of zero bytes: an empty text
      {"request:anything", "response:1"},
  };
  for (const auto& [text, answer] : steps) EXPECT_EQ(ask(c, text), answer) << text;
}

TEST_F(ChannelTest, APeerThatReconnectsStartsWithPushesOff) {
  {
    ControlClient c;
    open(c);
    EXPECT_EQ(ask(c, "start:"), "response:1");
  }
  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "stop:"), "response:0");
}

TEST_F(ChannelTest, PartialFramesGetNoAnswerAndTheNextFrameIsJudgedAlone) {
  ControlClient c;
  open(c);
  std::vector<unsigned char> f;
  ASSERT_TRUE(ipc::frame_text("start:", f));
  ASSERT_TRUE(send_raw(c, f.data(), 10));
  EXPECT_TRUE(silent(c, 300));
  EXPECT_EQ(ask(c, "start:"), "response:1");
  EXPECT_TRUE(server.conn()->errors_copy().empty());
}

TEST_F(ChannelTest, TwoFramesInOneReadAreOneMessage) {
  ControlClient c;
  open(c);
  auto both = [](const std::string& a, const std::string& b) {
    std::vector<unsigned char> fa, fb;
    EXPECT_TRUE(ipc::frame_text(a, fa));
    EXPECT_TRUE(ipc::frame_text(b, fb));
    fa.insert(fa.end(), fb.begin(), fb.end());
    return fa;
  };
  // The first text ends in padding: the second message is lost.
  auto f = both("start:", "stop:");
  ASSERT_TRUE(send_raw(c, f.data(), f.size()));
  std::string answer;
  ASSERT_EQ(c.read(answer, 3000), Read::Message);
  EXPECT_EQ(answer, "response:1");
  EXPECT_TRUE(silent(c, 300));
  // The first text fills its blocks: the second is glued onto it.
  f = both("request:16bytes!", "stop:");
  ASSERT_TRUE(send_raw(c, f.data(), f.size()));
  ASSERT_EQ(c.read(answer, 3000), Read::Message);
  EXPECT_EQ(answer, "response:1");
  std::lock_guard<std::mutex> g(server.conn()->m);
  EXPECT_EQ(server.conn()->bodies.back(), "16bytes!stop:");
}

TEST_F(ChannelTest, LongAnswersOfEveryLengthArriveWhole) {
  ControlClient c;
  open(c);
  // 7, 1015 and 4087 make frames without a single zero byte (9 + n is a multiple of 16).
  for (std::size_t n : {0u, 1u, 7u, 15u, 17u, 1015u, 1024u, 4087u, 4096u, 100000u}) {
    const std::string answer = ask(c, "request:len:" + std::to_string(n));
    EXPECT_TRUE(answer == "response:" + std::string(n, 'a')) << n << " bytes asked, " << answer.size() << " read";
  }
}

TEST_F(ChannelTest, RequestsLongerThanOneReadAreTakenInSteps) {
  ControlClient c;
  open(c);
  const std::string text = "request:" + std::string(2048 - 8, 'b');
  ASSERT_TRUE(c.send(text));
  std::string first, second;
  ASSERT_EQ(c.read(first, 3000), Read::Message);
  ASSERT_EQ(c.read(second, 3000), Read::Message);
  EXPECT_EQ(first, "response:1");   // the first 1024 bytes, a request
  EXPECT_EQ(second, "response:0");  // the rest, without a prefix
  std::lock_guard<std::mutex> g(server.conn()->m);
  ASSERT_EQ(server.conn()->bodies.size(), 1u);
  EXPECT_EQ(server.conn()->bodies[0].size(), 1024u - 8);
}

TEST_F(ChannelTest, RandomBytesNeverStopTheServer) {
  ControlClient c;
  open(c);
  std::mt19937 rng(7);
  int answered = 0;
  for (int i = 0; i < 200; ++i) {
    std::vector<unsigned char> junk(16 * (1 + rng() % 8));
    for (auto& b : junk) b = static_cast<unsigned char>(rng());
    ASSERT_TRUE(send_raw(c, junk.data(), junk.size()));
    std::string answer;
    ASSERT_EQ(c.read(answer, 3000), Read::Message);
    answered += answer == "response:0";
  }
  EXPECT_EQ(answered, 200);
  // And whatever is not whole blocks is dropped without a word.
  const unsigned char odd[5] = {1, 2, 3, 4, 5};
  ASSERT_TRUE(send_raw(c, odd, sizeof odd));
  EXPECT_TRUE(silent(c, 300));
  EXPECT_EQ(ask(c, "start:"), "response:1");
}

TEST_F(ChannelTest, TenThousandRequestsInARow) {
  const auto t0 = steady::now();
  {
    ControlClient c;
    open(c);
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(ask(c, "request:n" + std::to_string(i)), "response:1") << i;
  }
  const double secs = std::chrono::duration<double>(steady::now() - t0).count();
  std::printf("10000 requests answered in %.2f s (%.0f per second)\n", secs, 10000 / secs);
  ControlClient next;
  open(next);
  EXPECT_EQ(ask(next, "start:"), "response:1");
}

TEST_F(ChannelTest, ASecondPeerWaitsUntilTheFirstLeaves) {
  auto first = std::make_unique<ControlClient>();
  open(*first);
  EXPECT_EQ(ask(*first, "start:"), "response:1");
  ControlClient second;
  open(second);  // the backlog takes it
  ASSERT_TRUE(second.send("start:"));
  EXPECT_TRUE(silent(second, 300));
  first.reset();
  std::string answer;
  ASSERT_EQ(second.read(answer, 3000), Read::Message);
  EXPECT_EQ(answer, "response:1");  // pushes were off again for the new peer
}

TEST_F(ChannelTest, ARefusedPeerIsClosedWithoutAnAnswer) {
  server.conn()->allow = false;
  {
    ControlClient c;
    open(c);
    c.send("request:get.cfg.pwd");
    std::string answer;
    EXPECT_EQ(c.read(answer, 3000), Read::Closed);
  }
  EXPECT_EQ(server.conn()->seen_uid.load(), ::geteuid());
  EXPECT_EQ(server.conn()->connects.load(), 0);
  server.conn()->allow = true;
  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "start:"), "response:1");
}

TEST_F(ChannelTest, PushesGoOutOnlyWhileSwitchedOn) {
  RecordingConn* conn = server.conn();
  conn->SetPushLimits(16, std::chrono::milliseconds(0));
  EXPECT_FALSE(conn->QueuePush("before any peer"));
  ControlClient c;
  open(c);
  EXPECT_FALSE(conn->QueuePush("before start"));
  EXPECT_EQ(conn->Push("before start"), -1);
  EXPECT_EQ(ask(c, "start:"), "response:1");
  EXPECT_TRUE(conn->QueuePush("remote_info:a(2"));
  std::string text;
  ASSERT_EQ(c.read(text, 3000), Read::Message);
  EXPECT_EQ(text, "push:remote_info:a(2");
  EXPECT_EQ(ask(c, "stop:"), "response:1");
  EXPECT_FALSE(conn->QueuePush("after stop"));
  EXPECT_TRUE(silent(c, 200));
}

TEST_F(ChannelTest, PushesOfEveryLengthArriveWhole) {
  RecordingConn* conn = server.conn();
  conn->SetPushLimits(64, std::chrono::milliseconds(0));
  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "start:"), "response:1");
  // "push:" is 5 bytes: 11, 1019 and 4091 give frames with no zero byte.
  // One at a time: without the usual spacing, two frames with no zero byte would run together.
  for (std::size_t n : {0u, 1u, 11u, 15u, 17u, 1019u, 1024u, 4091u, 4096u, 70000u}) {
    ASSERT_TRUE(conn->QueuePush(std::string(n, 'p')));
    std::string text;
    ASSERT_EQ(c.read(text, 3000), Read::Message) << n;
    EXPECT_TRUE(text == "push:" + std::string(n, 'p')) << n << " bytes pushed, " << text.size() << " read";
  }
}

TEST_F(ChannelTest, PushesKeepTheirSpacingOnTheWire) {
  using std::chrono::milliseconds;
  RecordingConn* conn = server.conn();
  const milliseconds spacing(150);
  conn->SetPushLimits(16, spacing);
  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "start:"), "response:1");
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(conn->QueuePush("n" + std::to_string(i)));
  for (int i = 0; i < 4; ++i) {
    std::string text;
    ASSERT_EQ(c.read(text, 3000), Read::Message);
    EXPECT_EQ(text, "push:n" + std::to_string(i));
  }
  ASSERT_EQ(conn->wait_written(4), 4u);
  std::lock_guard<std::mutex> g(conn->m);
  for (std::size_t i = 1; i < conn->written.size(); ++i) {
    // Stamped just after each write; the next may not leave before the spacing is over.
    EXPECT_GE(conn->written[i].first - conn->written[i - 1].first, spacing - milliseconds(5)) << i;
    EXPECT_EQ(conn->written[i].second, 1);
  }
}

TEST_F(ChannelTest, NoPushFollowsAnAnswerWithoutAZeroByteAtOnce) {
  RecordingConn* conn = server.conn();
  const std::chrono::milliseconds spacing(600);
  conn->SetPushLimits(16, spacing);
  ControlClient c;
  open(c);
  EXPECT_EQ(ask(c, "start:"), "response:1");
  const auto asked = steady::now();
  // "response:" and 7 bytes fill one block exactly: only a pause can end that message.
  EXPECT_EQ(ask(c, "request:len:7"), "response:aaaaaaa");
  ASSERT_TRUE(conn->QueuePush("x"));
  std::string text;
  ASSERT_EQ(c.read(text, 3000), Read::Message);
  EXPECT_EQ(text, "push:x");
  ASSERT_EQ(conn->wait_written(1), 1u);
  std::lock_guard<std::mutex> g(conn->m);
  EXPECT_GE(conn->written[0].first - asked, spacing);
}

TEST_F(ChannelTest, APeerThatNeverReadsIsDroppedAndTheNextIsServed) {
  RecordingConn* conn = server.conn();
  conn->SetPushLimits(16, std::chrono::milliseconds(0));
  ControlClient stuck;
  open(stuck);
  int small = 4096;
  ::setsockopt(stuck.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  EXPECT_EQ(ask(stuck, "start:"), "response:1");
  // More than both socket buffers hold; the peer reads none of it.
  ASSERT_TRUE(conn->QueuePush(std::string(4 << 20, 'x')));
  ControlClient next;
  open(next);  // waits in the backlog meanwhile
  ASSERT_TRUE(next.send("start:"));
  std::string answer;
  ASSERT_EQ(next.read(answer, 10000), Read::Message);
  EXPECT_EQ(answer, "response:1");
  const auto errors = conn->errors_copy();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Error send in write");
}

TEST_F(ChannelTest, APeerThatVanishesMidPushLeavesTheServerServing) {
  RecordingConn* conn = server.conn();
  conn->SetPushLimits(16, std::chrono::milliseconds(0));
  {
    ControlClient c;
    open(c);
    EXPECT_EQ(ask(c, "start:"), "response:1");
    ASSERT_TRUE(conn->QueuePush(std::string(4 << 20, 'x')));
    char buf[4096];
    ASSERT_GT(::recv(c.fd(), buf, sizeof buf, 0), 0);  // the push has begun
  }  // gone, mid-frame
  ControlClient next;
  open(next);
  EXPECT_EQ(ask(next, "start:"), "response:1");
  const auto errors = conn->errors_copy();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Error send in write");
}

TEST_F(ChannelTest, TheSocketIsOwnerOnlyFromTheStart) {
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(ChannelCreate, TheSocketStaysOwnerOnlyUnderAClearedUmask) {
  TempDir dir;
  const mode_t old = ::umask(0);  // as the daemon runs
  {
    IPCServer server;
    ASSERT_TRUE(server.Create(dir.file("s.ipc")));
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("s.ipc").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
  }
  EXPECT_EQ(::umask(old), 0u);  // Listen put the agent's mask back
}

TEST(ChannelCreate, ReplacesAStaleFileAndRemovesTheSocketAtTheEnd) {
  TempDir dir;
  const std::string path = dir.file("nox.ipc");
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  {
    IPCServer server;
    ASSERT_TRUE(server.Create(path));
    EXPECT_TRUE(server.IsRunning());
    ControlClient c;
    ASSERT_EQ(c.connect(path), ControlClient::Connect::Ok);
    std::string answer;
    ASSERT_EQ(c.ask("request:x", answer, 3000), Read::Message);
    EXPECT_EQ(answer, "response:1");  // the bare server answers every request with "1"
  }
  EXPECT_FALSE(file_exists(path));
}

TEST(ChannelCreate, FailsCleanlyWhereNoSocketCanBe) {
  TempDir dir;
  const std::string bad[] = {
      dir.file("missing/nox.ipc"),  // the folder is not created for it
      dir.file(std::string(200, 'n')),  // longer than a socket address holds
      "",
  };
  for (const auto& path : bad) {
    IPCServer server;
    EXPECT_FALSE(server.Create(path)) << path;
    EXPECT_EQ(server.connection(), nullptr);
    EXPECT_FALSE(server.IsRunning());
  }
  ControlClient c;
  EXPECT_EQ(c.connect(dir.file("missing/nox.ipc")), ControlClient::Connect::NotRunning);
}

}  // namespace
