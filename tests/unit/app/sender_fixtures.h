// Stand-ins for what the sender pass and the notification handling reach: a host that
// records queries and pushes instead of sending them, a resolver that knows a few host
// names without asking any name server, a push sink, a wall-message recorder, and a fixture
// that puts a fake clock, a log capture and debug mode in place for each test.
#pragma once

#include <netdb.h>
#include <sys/socket.h>
#include <wx/init.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "helper/clock.h"
#include "helper/push_sink.h"
#include "logger/log_capture.h"
#include "logger/log_memo.h"
#include "logger/log_ops.h"
#include "model/tree.h"
#include "output/msg_output.h"
#include "sender.h"
#include "server/datagram.h"
#include "watch_table.h"

namespace sendertest {

using Lines = std::vector<std::string>;

// The framework is initialised once for the whole program (log records of other threads
// reach the active target only once wx knows the main thread).
inline void ensure_wx() { static wxInitializer init; }

inline std::size_t count_of(const Lines& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

inline bool has_line(const Lines& lines, const std::string& line) { return count_of(lines, line) != 0; }

inline std::string numeric_host(const sockaddr* sa, socklen_t len) {
  char buf[256] = {};
  if (getnameinfo(sa, len, buf, sizeof buf, nullptr, 0, NI_NUMERICHOST) != 0) return "";
  return buf;
}

// Host names are looked up in `names`; numeric texts go through the real numeric-only
// lookup (AI_NUMERICHOST, no network). Every operation that would wait on the network in
// the agent (a lookup by name, a reverse lookup) is recorded with the pass it happened in.
class FakeResolver : public Resolver {
 public:
  std::map<std::string, std::string> names;  // host name -> numeric address text
  int pass = 0;                              // set by the test before each pass
  struct Call {
    int pass;
    std::string what;  // "resolve <host>" or "reverse <ip>"
  };
  std::vector<Call> networkCalls;

  AddrInfoPtr resolve(const std::string& host, const std::string& serv, bool numericOnly) override {
    if (numericOnly) return Resolver::resolve(host, serv, true);
    networkCalls.push_back({pass, "resolve " + host});
    auto it = names.find(host);
    return Resolver::resolve(it == names.end() ? host : it->second, serv, true);
  }
  std::string reverseName(const addrinfo& ai) override {
    const std::string ip = numericHost(ai);
    networkCalls.push_back({pass, "reverse " + ip});
    return "host-" + ip;
  }

  int callsInPass(int p) const {
    return static_cast<int>(std::count_if(networkCalls.begin(), networkCalls.end(),
                                          [p](const Call& c) { return c.pass == p; }));
  }
  std::vector<std::string> callsOf(int p) const {
    std::vector<std::string> out;
    for (const auto& c : networkCalls)
      if (c.pass == p) out.push_back(c.what);
    return out;
  }
};

class FakeSenderHost : public SenderHost {
 public:
  struct Query {
    std::string ip;
    std::string port;
    std::vector<unsigned char> bytes;
    bool addressPublished;  // the receiver had been told of every stored address
  };
  std::string aliasText = "nox-host";
  int sendResult = static_cast<int>(datagram::kQuerySize);
  std::vector<Query> queries;
  Lines pushes;
  int addressChanges = 0;
  int unpublished = 0;  // addresses stored since the receiver was last told
  std::function<void(const Query&)> onSend;         // runs after a query was recorded
  std::function<void(const std::string&)> onAdvise;  // runs after a push was recorded

  std::string alias() override { return aliasText; }
  int sendTo(const addrinfo* ai, const unsigned char* bytes, std::size_t len) override {
    Query q;
    if (ai) {
      q.ip = numeric_host(ai->ai_addr, ai->ai_addrlen);
      char serv[32] = {};
      getnameinfo(ai->ai_addr, ai->ai_addrlen, nullptr, 0, serv, sizeof serv, NI_NUMERICSERV);
      q.port = serv;
    }
    q.bytes.assign(bytes, bytes + len);
    q.addressPublished = unpublished == 0;
    queries.push_back(q);
    if (onSend) onSend(q);
    return sendResult;
  }
  void advise(const wxString& text) override {
    pushes.push_back(text.ToStdString());
    if (onAdvise) onAdvise(pushes.back());
  }
  wxString remoteInfoText(const Remote& remote) override { return "remote_info:" + remote.name; }
  void storeAddress(Remote& remote, AddrInfoPtr address) override {
    remote.setAddrInfo(std::move(address));
    ++unpublished;
  }
  void addressesChanged() override {
    ++addressChanges;
    unpublished = 0;
  }

  std::size_t queriesTo(const std::string& ip) const {
    return static_cast<std::size_t>(
        std::count_if(queries.begin(), queries.end(), [&](const Query& q) { return q.ip == ip; }));
  }
};

class RecordingPushSink : public PushSink {
 public:
  void Advise(const wxString& text) override { texts.push_back(text.ToStdString()); }
  Lines texts;
};

// What went out as wall messages, as "<kind> <who> <args>".
inline Lines& wall_records() {
  static Lines records;
  return records;
}

class RecordingMsgOutput : public NOXMsgOutput {
 public:
  void event_warning(const std::string& who, int event) override {
    wall_records().push_back("event_warning " + who + " " + std::to_string(event));
  }
  void event_restore(const std::string& who, int event) override {
    wall_records().push_back("event_restore " + who + " " + std::to_string(event));
  }
  void unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay) override {
    wall_records().push_back("unreasonable_time " + who + " " + std::to_string(setting_time) + " " +
                             std::to_string(device_delay));
  }
};

// A fresh tree and sender with fakes, for a table case that needs its own world. Bind it
// in one line: `SenderRig rig; auto& [tree, h, w, res, s] = rig;`
struct SenderRig {
  Non_Cluster tree{"", nullptr};
  FakeSenderHost host;
  WatchTable watch;
  FakeResolver resolver;
  Sender sender{host, watch, resolver};
};

inline std::shared_ptr<NOXMsgOutput> make_recording_output() { return std::make_shared<RecordingMsgOutput>(); }

// Per test: wx up, debug mode on (trace lines are what many checks read), every log record
// captured, a fake clock, an empty log memory, bNeedDelete clear, wall messages recorded.
class AgentStateTest : public ::testing::Test {
 protected:
  AgentStateTest() : clockScope_(&clock) {}

  void SetUp() override {
    ensure_wx();
    savedDebug_ = debug_mode.load();
    debug_mode = true;
    bNeedDelete = false;
    LogMemo::instance().clear();
    wall_records().clear();
    set_msg_output_factory(&make_recording_output);
    capture_.reset(new ScopedCapture);
  }
  void TearDown() override {
    capture_.reset();
    set_msg_output_factory(nullptr);
    LogMemo::instance().clear();
    bNeedDelete = false;
    debug_mode = savedDebug_;
  }

  // Log texts since the last call.
  Lines logged() { return capture_->take(); }

  FakeClock clock{1700000000};

 private:
  ScopedClock clockScope_;
  std::unique_ptr<ScopedCapture> capture_;
  bool savedDebug_ = false;
};

}  // namespace sendertest
