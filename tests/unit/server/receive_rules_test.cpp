#include "server/receive_rules.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "helper/clock.h"
#include "logger/log_capture.h"
#include "logger/log_ops.h"
#include "model/addr_fixture.h"
#include "server_fixtures.h"

namespace {

class ReceiveRulesTest : public ::testing::Test {
 protected:
  ReceiveRulesTest() : root("", nullptr), clock(5000), scoped(&clock) {
    card = root.addRemote("card", "2993", "", "Master");
    card->setAddrInfo(Resolved("127.0.0.1", "2993").info);
    sink.book.rebuild(root);
  }

  Intake take(const char* host, const char* port, const std::vector<unsigned char>& d) {
    Resolved from(host, port);
    return take_datagram(sink, from.addr(), from.info->ai_addrlen, d.data(), d.size());
  }

  Non_Cluster root;
  RemotePtr card;
  BookSink sink;
  FakeClock clock;
  ScopedClock scoped;
};

TEST_F(ReceiveRulesTest, LengthAndMarkRules) {
  std::vector<unsigned char> bad_mark = marked(98);
  bad_mark[0] = 0xAA;
  bad_mark[1] = 0x55;
  std::vector<unsigned char> three = marked(3, 0x7E);
  struct Row {
    const char* what;
    std::vector<unsigned char> bytes;
    Intake intake;
    bool refreshes;
    uint32_t len;  // of the queued payload
  } rows[] = {
      {"empty", {}, Intake::Empty, false, 0},
      {"one byte", {0x55}, Intake::Malformed, true, 0},
      {"marks only", marked(2), Intake::Malformed, true, 0},
      {"marks swapped", bad_mark, Intake::Malformed, true, 0},
      {"three bytes", three, Intake::Queued, true, 1},
      {"notification size", marked(98), Intake::Queued, true, 96},
      {"exactly 200", marked(200), Intake::Queued, true, 198},
      {"250 bytes", marked(250), Intake::Queued, true, 198},
      {"largest UDP payload", marked(65507), Intake::Queued, true, 198},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.what);
    card->lastRecvTime = 0;
    clock.advance(1);
    sink.queue.clear();
    EXPECT_EQ(take("127.0.0.1", "2993", r.bytes), r.intake);
    EXPECT_EQ(card->lastRecvTime.load(), r.refreshes ? clock.now() : 0);
    auto q = sink.queue.take_all();
    ASSERT_EQ(q.size(), r.intake == Intake::Queued ? 1u : 0u);
    if (q.empty()) continue;
    EXPECT_EQ(q[0].remote, card);
    EXPECT_EQ(q[0].len, r.len);
    EXPECT_TRUE(std::equal(q[0].data, q[0].data + q[0].len, r.bytes.begin() + 2));
    EXPECT_TRUE(std::all_of(q[0].data + q[0].len, q[0].data + RemotePayload::kDataSize,
                            [](unsigned char b) { return b == 0; }));
  }
  EXPECT_EQ(sink.replies["card"], 5);  // one reply noted per queued datagram
}

TEST_F(ReceiveRulesTest, OtherPortOrAddressIsAnUnknownHost) {
  struct Row {
    const char* host;
    const char* port;
    Intake want;
  } rows[] = {
      {"127.0.0.1", "2994", Intake::UnknownSender},
      {"127.0.0.2", "2993", Intake::UnknownSender},
      {"::1", "2993", Intake::UnknownSender},
      {"::ffff:127.0.0.1", "2993", Intake::Queued},
  };
  for (const auto& r : rows) {
    card->lastRecvTime = 0;
    EXPECT_EQ(take(r.host, r.port, marked(98)), r.want) << r.host << ":" << r.port;
    EXPECT_EQ(card->lastRecvTime.load() != 0, r.want == Intake::Queued) << r.host << ":" << r.port;
  }
  EXPECT_EQ(sink.queue.size(), 1u);
}

TEST_F(ReceiveRulesTest, DebugLinesNameTheSender) {
  const bool saved = debug_mode.exchange(true);
  {
    ScopedCapture cap;
    take("127.0.0.9", "4000", marked(98));
    take("127.0.0.1", "2993", marked(98));
    take("127.0.0.1", "2993", marked(2));
    EXPECT_EQ(cap.take(), (std::vector<std::string>{"Receive data from unknown host: 127.0.0.9:4000",
                                                     "Receive remote card package"}));
  }
  debug_mode = false;
  {
    ScopedCapture cap;
    take("127.0.0.9", "4000", marked(98));
    take("127.0.0.1", "2993", marked(98));
    EXPECT_TRUE(cap.take().empty());
  }
  debug_mode = saved;
}

}  // namespace
