// Binding, reception and sending over real sockets; the test program runs inside the
// network sandbox, so the agent's port range is free and only loopback exists.
#include "server/noxserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "model/addr_fixture.h"
#include "server/comm_thread.h"
#include "server/datagram.h"
#include "server_fixtures.h"

namespace {

uint16_t bound_port(int fd) {
  if (fd < 0) return 0;
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
  return ntohs(ss.ss_family == AF_INET ? reinterpret_cast<sockaddr_in&>(ss).sin_port
                                       : reinterpret_cast<sockaddr_in6&>(ss).sin6_port);
}

// Holds a wildcard port the way another program would: both families, or IPv4 only.
class Blocker {
 public:
  enum Kind { Both, Ipv4Only };
  Blocker(int port, Kind kind) {
    fd_ = ::socket(kind == Both ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    sockaddr_storage ss{};
    socklen_t len;
    if (kind == Both) {
      const int off = 0;
      setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
      auto& a = reinterpret_cast<sockaddr_in6&>(ss);
      a.sin6_family = AF_INET6;
      a.sin6_addr = in6addr_any;
      a.sin6_port = htons(static_cast<uint16_t>(port));
      len = sizeof a;
    } else {
      auto& a = reinterpret_cast<sockaddr_in&>(ss);
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_ANY);
      a.sin_port = htons(static_cast<uint16_t>(port));
      len = sizeof a;
    }
    ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&ss), len) == 0;
  }
  ~Blocker() { ::close(fd_); }
  Blocker(const Blocker&) = delete;
  Blocker& operator=(const Blocker&) = delete;
  bool ok() const { return ok_; }

 private:
  int fd_;
  bool ok_ = false;
};

// An endpoint on a system where one address family cannot be used at all.
class MissingFamilyServer : public NOXServerUnix {
 public:
  explicit MissingFamilyServer(int missing, ReceiveSink* sink = nullptr) : NOXServerUnix(sink), missing_(missing) {}

 protected:
  int makeSocket(int family) override { return family == missing_ ? -1 : NOXServerUnix::makeSocket(family); }

 private:
  int missing_;
};

struct BindCase {
  const char* what;
  int requested;
  std::vector<std::pair<int, Blocker::Kind>> taken;
  int missing_family;  // AF_UNSPEC: both available
  int result;          // bindPort's result and the caller's variable afterwards (0 for -1)
  int v6_port;         // 0: no IPv6 socket
  int v4_port;         // 0: no IPv4 socket
};

void PrintTo(const BindCase& c, std::ostream* os) { *os << c.what; }

class BindPortTest : public ::testing::TestWithParam<BindCase> {};

TEST_P(BindPortTest, PicksPortsAsTheRangeRulesSay) {
  const BindCase& c = GetParam();
  std::vector<std::unique_ptr<Blocker>> blockers;
  for (const auto& t : c.taken) {
    blockers.push_back(std::make_unique<Blocker>(t.first, t.second));
    ASSERT_TRUE(blockers.back()->ok()) << "cannot occupy " << t.first;
  }
  MissingFamilyServer server(c.missing_family);
  int port = c.requested;
  EXPECT_EQ(server.bindPort(port), c.result);
  EXPECT_EQ(port, c.result == -1 ? 0 : c.result);
  EXPECT_EQ(server.port(), c.result == -1 ? 0 : c.result);
  EXPECT_EQ(bound_port(server.ipv6Socket()), c.v6_port);
  EXPECT_EQ(bound_port(server.ipv4Socket()), c.v4_port);
}

std::vector<std::pair<int, Blocker::Kind>> whole_range() {
  std::vector<std::pair<int, Blocker::Kind>> all;
  for (int p = 3034; p <= 3083; ++p) all.push_back({p, Blocker::Both});
  return all;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BindPortTest,
    ::testing::Values(
        BindCase{"below the range", 3033, {}, AF_UNSPEC, 3034, 3034, 3034},
        BindCase{"above the range", 3084, {}, AF_UNSPEC, 3034, 3034, 3034},
        BindCase{"zero", 0, {}, AF_UNSPEC, 3034, 3034, 3034},
        BindCase{"inside the range", 3050, {}, AF_UNSPEC, 3050, 3050, 3050},
        BindCase{"last port taken wraps", 3083, {{3083, Blocker::Both}}, AF_UNSPEC, 3034, 3034, 3034},
        BindCase{"wraps past taken ports", 3083, {{3083, Blocker::Both}, {3034, Blocker::Both}}, AF_UNSPEC, 3035,
                 3035, 3035},
        BindCase{"IPv4 port taken tries the next", 3040, {{3040, Blocker::Ipv4Only}}, AF_UNSPEC, 3040, 3040, 3041},
        BindCase{"IPv4 retries leave the range", 3083, {{3083, Blocker::Ipv4Only}}, AF_UNSPEC, 3083, 3083, 3084},
        BindCase{"IPv4 gives up after ten",
                 3040,
                 {{3040, Blocker::Ipv4Only}, {3041, Blocker::Ipv4Only}, {3042, Blocker::Ipv4Only},
                  {3043, Blocker::Ipv4Only}, {3044, Blocker::Ipv4Only}, {3045, Blocker::Ipv4Only},
                  {3046, Blocker::Ipv4Only}, {3047, Blocker::Ipv4Only}, {3048, Blocker::Ipv4Only},
                  {3049, Blocker::Ipv4Only}},
                 AF_UNSPEC, 3040, 3040, 0},
        BindCase{"no IPv6: a taken IPv4 port moves on", 3040, {{3040, Blocker::Ipv4Only}}, AF_INET6, 3041, 0, 3041},
        BindCase{"no IPv4 at all", 3040, {}, AF_INET, 3040, 3040, 0},
        BindCase{"whole range taken", 3040, whole_range(), AF_UNSPEC, -1, 0, 0}),
    [](const ::testing::TestParamInfo<BindCase>& i) {
      std::string n = i.param.what;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(BindPort, RebindReplacesTheSockets) {
  NOXServerUnix server;
  int port = 3060;
  ASSERT_EQ(server.bindPort(port), 3060);
  port = 3061;
  ASSERT_EQ(server.bindPort(port), 3061);
  // The first pair was released: the port can be taken again.
  Blocker again(3060, Blocker::Both);
  EXPECT_TRUE(again.ok());
}

// A bound endpoint with one card resolved to a loopback socket.
class EndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(card_sock.ok());
    ASSERT_TRUE(card6_sock.ok());
    card = root.addRemote("card", std::to_string(card_sock.port()), "", "Master");
    card->setAddrInfo(Resolved("127.0.0.1", card->getServ().c_str()).info);
    card6 = root.addRemote("card6", std::to_string(card6_sock.port()), "", "Master");
    card6->setAddrInfo(Resolved("::1", card6->getServ().c_str()).info);
    sink.book.rebuild(root);
    int port = 3034;
    ASSERT_EQ(server.bindPort(port), 3034);
  }

  // Reads until n datagrams were taken or a few empty cycles went by.
  int receive_all(int n) {
    int got = 0;
    for (int idle = 0; got < n && idle < 4;) {
      const int k = server.receiveOnce();
      got += k;
      idle = k ? 0 : idle + 1;
    }
    return got;
  }

  Non_Cluster root{"", nullptr};
  RemotePtr card, card6;
  BookSink sink;
  NOXServerUnix server{&sink};
  LoopSocket card_sock{AF_INET};
  LoopSocket card6_sock{AF_INET6};
  LoopSocket stranger{AF_INET};
};

TEST_F(EndpointTest, LongDatagramIsCutAt200) {
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, marked(250, 0x42)));
  ASSERT_EQ(receive_all(1), 1);
  auto q = sink.queue.take_all();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].len, 198u);
  EXPECT_EQ(q[0].data[197], 0x42);
  EXPECT_EQ(q[0].data[198], 0);
}

TEST_F(EndpointTest, BothFamiliesAreMatchedToTheirCards) {
  ASSERT_TRUE(card6_sock.sendTo("::1", 3034, marked(98)));
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, marked(98)));
  ASSERT_TRUE(stranger.sendTo("127.0.0.1", 3034, marked(98)));  // same address, another port
  EXPECT_EQ(receive_all(3), 3);
  auto q = sink.queue.take_all();
  ASSERT_EQ(q.size(), 2u);
  std::set<std::string> names{q[0].remote->name, q[1].remote->name};
  EXPECT_EQ(names, (std::set<std::string>{"card", "card6"}));
}

TEST_F(EndpointTest, OneCycleDrainsAWaitingBurstInOrder) {
  constexpr int kBurst = 600;
  for (int i = 0; i < kBurst; ++i) {
    auto d = marked(98);
    d[2] = static_cast<unsigned char>(i >> 8);
    d[3] = static_cast<unsigned char>(i);
    ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, d));
  }
  EXPECT_EQ(server.receiveOnce(), kBurst);
  auto q = sink.queue.take_all();
  ASSERT_EQ(q.size(), static_cast<std::size_t>(kBurst));
  for (int i = 0; i < kBurst; ++i) ASSERT_EQ(q[i].data[0] * 256 + q[i].data[1], i) << "position " << i;
  EXPECT_EQ(sink.replies["card"], kBurst);
}

TEST_F(EndpointTest, ACycleReadsAtMostTheDrainLimitPerSocket) {
  const int total = static_cast<int>(NOXServer::kDrainLimit) + 6;
  for (int i = 0; i < total; ++i) ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, marked(98)));
  EXPECT_EQ(server.receiveOnce(), static_cast<int>(NOXServer::kDrainLimit));
  EXPECT_EQ(server.receiveOnce(), 6);
  EXPECT_EQ(sink.queue.size(), static_cast<std::size_t>(total));
}

TEST_F(EndpointTest, OddSizesDoNotStopTheDrain) {
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, {}));
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, marked(65507)));
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, {0x55}));
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, marked(98)));
  EXPECT_EQ(server.receiveOnce(), 4);
  auto q = sink.queue.take_all();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0].len, 198u);
  EXPECT_EQ(q[1].len, 96u);
}

TEST_F(EndpointTest, AFloodFromStrangersDoesNotHideACard) {
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(stranger.sendTo("127.0.0.1", 3034, marked(98)));
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, marked(98)));
  EXPECT_EQ(receive_all(3001), 3001);
  auto q = sink.queue.take_all();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].remote, card);
}

TEST_F(EndpointTest, SwitchedOffLeavesDatagramsWaiting) {
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3034, marked(98)));
  server.setEnabled(false);
  EXPECT_EQ(server.receiveOnce(), 0);
  EXPECT_EQ(sink.queue.size(), 0u);
  server.setEnabled(true);
  EXPECT_EQ(receive_all(1), 1);
  EXPECT_EQ(sink.queue.size(), 1u);
}

TEST_F(EndpointTest, SendGoesOutOnTheSocketOfTheDestinationFamily) {
  const unsigned char q[3] = {1, 2, 3};
  EXPECT_EQ(server.sendTo(card->getAddrInfo().get(), q, 3), 3);
  EXPECT_EQ(card_sock.receive(), std::vector<unsigned char>({1, 2, 3}));
  EXPECT_EQ(server.sendTo(card6->getAddrInfo().get(), q, 2), 2);
  EXPECT_EQ(card6_sock.receive(), std::vector<unsigned char>({1, 2}));
}

TEST_F(EndpointTest, SendRefusesMissingPieces) {
  const unsigned char q[1] = {1};
  addrinfo other{};
  sockaddr bogus{};
  bogus.sa_family = AF_UNIX;
  other.ai_addr = &bogus;
  other.ai_addrlen = sizeof bogus;
  EXPECT_EQ(server.sendTo(nullptr, q, 1), -1);
  EXPECT_EQ(server.sendTo(card->getAddrInfo().get(), nullptr, 1), -1);
  EXPECT_EQ(server.sendTo(card->getAddrInfo().get(), q, 0), -1);
  EXPECT_EQ(server.sendTo(&other, q, 1), -1);
  NOXServerUnix unbound;
  EXPECT_EQ(unbound.sendTo(card->getAddrInfo().get(), q, 1), -1);
  EXPECT_EQ(unbound.receiveOnce(), 0);
}

TEST(EndpointFallback, WithoutIpv4TheIpv6SocketCarriesIpv4Both_Ways) {
  LoopSocket card_sock(AF_INET);
  ASSERT_TRUE(card_sock.ok());
  Non_Cluster root("", nullptr);
  RemotePtr card = root.addRemote("card", std::to_string(card_sock.port()), "", "Master");
  card->setAddrInfo(Resolved("127.0.0.1", card->getServ().c_str()).info);
  BookSink sink;
  sink.book.rebuild(root);

  MissingFamilyServer server(AF_INET, &sink);
  int port = 3070;
  ASSERT_EQ(server.bindPort(port), 3070);
  ASSERT_TRUE(server.ipv6TakesIpv4());
  EXPECT_EQ(server.getSocket(), server.ipv6Socket());

  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3070, marked(98)));
  EXPECT_EQ(server.receiveOnce(), 1);
  auto q = sink.queue.take_all();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].remote, card);

  const unsigned char ping[2] = {9, 9};
  EXPECT_EQ(server.sendTo(card->getAddrInfo().get(), ping, 2), 2);
  EXPECT_EQ(card_sock.receive(), std::vector<unsigned char>({9, 9}));
}

TEST(EndpointFallback, BaseEndpointHasNoSocketForIpv4WithoutOne) {
  Non_Cluster root("", nullptr);
  RemotePtr card = root.addRemote("card", "2993", "", "Master");
  card->setAddrInfo(Resolved("127.0.0.1", "2993").info);
  class Ipv6Only : public NOXServer {
   protected:
    int makeSocket(int family) override { return family == AF_INET ? -1 : NOXServer::makeSocket(family); }
  } server;
  int port = 3071;
  ASSERT_EQ(server.bindPort(port), 3071);
  EXPECT_EQ(server.getSocket(), -1);
  const unsigned char ping[1] = {1};
  EXPECT_EQ(server.sendTo(card->getAddrInfo().get(), ping, 1), -1);
}

TEST(CommThreadTest, QueuesWhatArrivesAndStopsOnRequest) {
  LoopSocket card_sock(AF_INET);
  Non_Cluster root("", nullptr);
  RemotePtr card = root.addRemote("card", std::to_string(card_sock.port()), "", "Master");
  card->setAddrInfo(Resolved("127.0.0.1", card->getServ().c_str()).info);
  BookSink sink;
  sink.book.rebuild(root);
  NOXServerUnix server(&sink);
  int port = 3080;
  ASSERT_EQ(server.bindPort(port), 3080);

  auto* thread = new CommThread(&server);
  ASSERT_EQ(thread->Run(), wxTHREAD_NO_ERROR);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3080, marked(98)));
  for (int wait = 0; wait < 400 && sink.queue.size() < 3; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(sink.queue.size(), 3u);

  thread->stop();
  EXPECT_FALSE(thread->IsRunning());
  delete thread;

  // Nobody reads any more: a later datagram stays in the socket.
  ASSERT_TRUE(card_sock.sendTo("127.0.0.1", 3080, marked(98)));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(sink.queue.size(), 3u);
}

}  // namespace
