#include "ipc/socket_io.h"

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(PeerAccess, OnlyRootAndTheAgentsOwnUserMayConnect) {
  struct Case {
    uid_t peer, agent;
    bool allowed;
  } cases[] = {
      {0, 0, true},        {0, 1000, true},     {1000, 1000, true},
      {1001, 1000, false}, {65534, 0, false},   {1000, 0, false},
      {static_cast<uid_t>(-1), 1000, false},  // credentials that could not be read
  };
  for (const auto& c : cases)
    EXPECT_EQ(ipc::peer_may_connect(c.peer, c.agent), c.allowed) << c.peer << " vs " << c.agent;
}

struct SocketPair {
  int fd[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0); }
  ~SocketPair() {
    for (int f : fd)
      if (f >= 0) ::close(f);
  }
};

TEST(SendAll, GivesUpOnAPeerThatStopsReading) {
  SocketPair sp;
  ASSERT_TRUE(ipc::set_nonblocking(sp.fd[0]));
  const std::vector<char> big(4 << 20, 'x');  // far more than the socket holds
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(ipc::send_all(sp.fd[0], big.data(), big.size(), 100));
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}

TEST(SendAll, DeliversEverythingToASlowReader) {
  SocketPair sp;
  ASSERT_TRUE(ipc::set_nonblocking(sp.fd[0]));
  std::string sent(1 << 20, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 31);
  std::string got;
  std::thread reader([&] {
    char buf[8192];
    while (got.size() < sent.size()) {
      const ssize_t n = ::recv(sp.fd[1], buf, sizeof buf, 0);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
      if (got.size() % (64 << 10) < sizeof buf) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  EXPECT_TRUE(ipc::send_all(sp.fd[0], sent.data(), sent.size()));
  reader.join();
  EXPECT_EQ(got, sent);
}

TEST(SendAll, ReportsAPeerThatIsGone) {
  SocketPair sp;
  ::close(sp.fd[1]);
  sp.fd[1] = -1;
  const char data[16] = {};
  EXPECT_FALSE(ipc::send_all(sp.fd[0], data, sizeof data));  // and no SIGPIPE ends the test
  EXPECT_EQ(errno, EPIPE);
}

}  // namespace
