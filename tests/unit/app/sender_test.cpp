// The sender pass: resolution schedule, query cadence, miss counting, silent cards, and the
// thread that runs the pass about once a second.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "send_thread.h"
#include "sender_fixtures.h"

using namespace sendertest;

namespace {

class SenderTest : public AgentStateTest {
 protected:
  Remote& add(const std::string& name, Cluster* under = nullptr) {
    RemotePtr r = (under ? *under : static_cast<Cluster&>(root)).addRemote(name, "", "", "Master");
    EXPECT_TRUE(r) << name;
    return *r;
  }
  Cluster& addCluster(const std::string& name) { return *root.addCluster(name); }

  wxArrayString pass() {
    resolver.pass = ++passes;
    return sender.runPass(root);
  }
  std::time_t now() const { return clock.now(); }

  // The card answered: what the receiver does for every valid datagram.
  void reply(Remote& r, int rand_value = 0) {
    r.lastRecvTime = now();
    watch.noteReply(r.name, now(), rand_value);
  }

  static std::vector<std::string> names(const wxArrayString& list) {
    std::vector<std::string> out;
    for (const auto& s : list) out.push_back(s.ToStdString());
    return out;
  }

  Non_Cluster root{"", nullptr};
  FakeSenderHost host;
  WatchTable watch;
  FakeResolver resolver;
  Sender sender{host, watch, resolver};
  int passes = 0;
};

// --- resolution --------------------------------------------------------------------------

// The agent's own resolver, on inputs that never need a name server.
TEST_F(SenderTest, TheResolverTakesNumericTextsWithoutTheNetworkAndLogsOnlyRealFailures) {
  struct Case {
    const char* host;
    const char* serv;
    bool numericOnly;
    std::string ip;  // "" = no result
    bool logsFailure;
  };
  const std::vector<Case> cases = {
      {"127.0.0.1", "2993", true, "127.0.0.1", false},
      {"::1", "2993", true, "::1", false},
      {"ups-a", "2993", true, "", false},                 // a host name is left to the schedule
      {"127.0.0.1", "snmp", true, "", false},             // so is a service name
      {"127.0.0.1", "no-such-service", false, "", true},  // the services file says no
  };
  Resolver real;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.host) + " " + c.serv);
    logged();
    AddrInfoPtr ai = real.resolve(c.host, c.serv, c.numericOnly);
    EXPECT_EQ(ai ? real.numericHost(*ai) : std::string(), c.ip);
    if (ai) {
      EXPECT_EQ(ai->ai_socktype, SOCK_DGRAM);
    }
    EXPECT_EQ(has_line(logged(), "getaddrinfo error in resolve host"), c.logsFailure);
  }
}

TEST_F(SenderTest, FirstResolutionOfANumericNameWatchesPushesAndQueriesTheCardAtOnce) {
  Remote& r = add("127.0.0.51");
  pass();

  EXPECT_EQ(r.getConnStatus(), NotConnected);
  ASSERT_TRUE(r.getAddrInfo());
  EXPECT_EQ(r.getIp(), "127.0.0.51");
  EXPECT_EQ(r.getHostName(), "host-127.0.0.51");
  EXPECT_EQ(host.pushes, Lines{"remote_info:127.0.0.51"});
  EXPECT_EQ(host.addressChanges, 1);
  EXPECT_TRUE(resolver.callsOf(1) == Lines{"reverse 127.0.0.51"});

  ASSERT_EQ(host.queries.size(), 1u);
  EXPECT_TRUE(host.queries[0].addressPublished);  // its answer will not come from a stranger
  EXPECT_EQ(host.queries[0].ip, "127.0.0.51");
  EXPECT_EQ(host.queries[0].port, "2993");
  std::string alias, suffix;
  ASSERT_TRUE(decode_query(host.queries[0].bytes.data(), host.queries[0].bytes.size(), alias, suffix));
  EXPECT_EQ(alias, "nox-host");
  EXPECT_EQ(suffix, "");
  EXPECT_EQ(watch.get(r.name).missCount, 1);
  EXPECT_EQ(watch.get(r.name).lastQueryTime, now());
  EXPECT_EQ(r.lastSendTime.load(), now());

  const Lines log = logged();
  EXPECT_TRUE(has_line(log, "Set the 127.0.0.51's hostname to host-127.0.0.51 and ip to 127.0.0.51"));
  EXPECT_TRUE(has_line(log, "Start to watch 127.0.0.51"));
  EXPECT_TRUE(has_line(log, "Send data to 127.0.0.51"));
  EXPECT_FALSE(has_line(log, "Send data to 127.0.0.51 failed"));
}

TEST_F(SenderTest, AResolutionAfterReloadQueriesAtOnceWithoutPushingAgain) {
  // The entry of the card's previous life says a query went out a second ago.
  watch.put("127.0.0.52", WatchEntry{now() - 1, 0});
  Remote& r = add("127.0.0.52");
  pass();

  EXPECT_EQ(r.getConnStatus(), NotConnected);
  EXPECT_TRUE(host.pushes.empty());
  EXPECT_EQ(host.queriesTo("127.0.0.52"), 1u);
  EXPECT_EQ(watch.get(r.name).missCount, 1);
}

TEST_F(SenderTest, AThousandCardsNamedByAddressAreAllWatchedAndQueriedInTheFirstPass) {
  std::vector<Remote*> remotes;
  for (int i = 0; i < 1000; ++i)
    remotes.push_back(&add("127.0." + std::to_string(1 + i / 200) + "." + std::to_string(1 + i % 200)));
  pass();

  for (Remote* r : remotes) {
    ASSERT_EQ(r->getConnStatus(), NotConnected) << r->name;
    ASSERT_TRUE(r->getAddrInfo()) << r->name;
    ASSERT_EQ(host.queriesTo(r->name), 1u) << r->name;
  }
  for (const auto& q : host.queries) ASSERT_TRUE(q.addressPublished) << q.ip;
  EXPECT_EQ(host.addressChanges, 1);  // one publication serves the whole pass
  EXPECT_EQ(host.queries.size(), 1000u);
  EXPECT_EQ(host.pushes.size(), 1000u);
  EXPECT_EQ(watch.size(), 1000u);
  EXPECT_LE(resolver.callsInPass(1), 1);

  // The display names follow, one reverse lookup per pass.
  for (int i = 0; i < 3; ++i) pass();
  EXPECT_EQ(resolver.callsInPass(2), 1);
  EXPECT_EQ(resolver.callsInPass(4), 1);
  EXPECT_EQ(remotes[3]->getHostName(), "host-" + remotes[3]->name);
  EXPECT_EQ(remotes[4]->getHostName(), "");
}

// Which pass resolves which card named by host name, for several shapes of tree.
TEST_F(SenderTest, HostNamesAreResolvedOnePerPassInTheOrderOfTheWalk) {
  struct Node {
    std::string cluster;  // "" = stand-alone
    std::string name;
  };
  struct Case {
    const char* what;
    std::vector<Node> tree;
    std::map<std::string, int> resolvedOnPass;  // 0 = never within the passes run
  };
  const std::vector<Case> cases = {
      {"three stand-alone cards", {{"", "ups-a"}, {"", "ups-b"}, {"", "ups-c"}},
       {{"ups-a", 1}, {"ups-b", 2}, {"ups-c", 3}}},
      {"cards in two clusters", {{"c1", "ups-a"}, {"c1", "ups-b"}, {"c2", "ups-c"}},
       {{"ups-a", 1}, {"ups-b", 2}, {"ups-c", 3}}},
      {"a name that never resolves ahead of a cluster", {{"", "ups-gone"}, {"c1", "ups-b"}},
       {{"ups-gone", 0}, {"ups-b", 2}}},
      {"a card by address among names", {{"", "ups-a"}, {"", "127.0.0.9"}, {"", "ups-c"}},
       {{"ups-a", 1}, {"127.0.0.9", 1}, {"ups-c", 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SenderRig rig;
    auto& [tree, h, w, res, s] = rig;
    res.names = {{"ups-a", "127.0.0.1"}, {"ups-b", "127.0.0.2"}, {"ups-c", "127.0.0.3"}};
    std::map<std::string, Remote*> remotes;
    for (const auto& n : c.tree) {
      Cluster* under = &tree;
      if (!n.cluster.empty()) under = tree.findCluster(n.cluster) ? tree.findCluster(n.cluster)
                                                                  : tree.addCluster(n.cluster).get();
      remotes[n.name] = under->addRemote(n.name, "", "", "Master").get();
    }
    std::map<std::string, int> seen;
    for (int p = 1; p <= 6; ++p) {
      res.pass = p;
      s.runPass(tree);
      EXPECT_LE(res.callsInPass(p), 1) << "pass " << p;
      for (const auto& kv : remotes)
        if (kv.second->getConnStatus() != NotResolved && !seen.count(kv.first)) seen[kv.first] = p;
    }
    for (const auto& kv : c.resolvedOnPass) {
      const int got = seen.count(kv.first) ? seen[kv.first] : 0;
      EXPECT_EQ(got, kv.second) << kv.first;
    }
  }
}

TEST_F(SenderTest, ReverseLookupsWaitingForAPassNeverHoldBackAHostNameResolution) {
  add("127.0.0.61");
  add("127.0.0.62");
  add("127.0.0.63");
  Remote& named = add("ups-a");
  resolver.names = {{"ups-a", "127.0.0.64"}};

  pass();  // the addresses are taken; the first reverse lookup spends this pass's budget
  EXPECT_EQ(named.getConnStatus(), NotResolved);
  pass();  // the name's turn comes before the remaining reverse lookups
  EXPECT_EQ(named.getConnStatus(), NotConnected);
  EXPECT_EQ(resolver.callsOf(2), Lines{"resolve ups-a"});

  for (int i = 0; i < 4; ++i) pass();
  for (int p = 1; p <= passes; ++p) EXPECT_LE(resolver.callsInPass(p), 1) << "pass " << p;
  for (const char* n : {"127.0.0.61", "127.0.0.62", "127.0.0.63"})
    EXPECT_EQ(root.findRemote(n)->getHostName(), std::string("host-") + n);
  EXPECT_EQ(named.getHostName(), "host-127.0.0.64");
}

TEST_F(SenderTest, ACardWithoutAnAddressIsNeitherQueriedNorCountedAsMissing) {
  Remote& r = add("ups-gone");  // the resolver does not know it
  for (int i = 0; i < 10; ++i) {
    pass();
    clock.advance(5);
  }
  EXPECT_EQ(r.getConnStatus(), NotResolved);
  EXPECT_TRUE(host.queries.empty());
  EXPECT_FALSE(watch.contains("ups-gone"));
  EXPECT_EQ(r.lastSendTime.load(), 0);
  EXPECT_FALSE(has_line(logged(), "Send data to ups-gone failed"));
  // It is still tried again when the schedule comes back to it.
  EXPECT_GE(resolver.networkCalls.size(), 2u);
}

TEST_F(SenderTest, AnAddressAlreadyHeldByAConnectedCardIsRefused) {
  struct Case {
    const char* what;
    bool otherInCluster;
    int otherStatus;
    const char* name;  // the card to resolve
    bool refused;
  };
  const std::vector<Case> cases = {
      {"stand-alone connected holder", false, Connected, "127.0.0.71", true},
      {"stand-alone holder not connected", false, NotConnected, "127.0.0.71", false},
      {"holder in a cluster, whatever its state", true, NotConnected, "127.0.0.71", true},
      {"the same address reached by host name", false, Connected, "ups-d", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SenderRig rig;
    auto& [tree, h, w, res, s] = rig;
    res.names = {{"ups-d", "127.0.0.71"}};
    Cluster& holderParent = c.otherInCluster ? *tree.addCluster("c1") : static_cast<Cluster&>(tree);
    Remote& holder = *holderParent.addRemote("card-a", "", "", "Master");
    holder.setAddrInfo(res.Resolver::resolve("127.0.0.71", "2993", true));
    holder.setConnStatus(c.otherStatus);
    Remote& r = *tree.addRemote(c.name, "", "", "Master");
    logged();

    s.runPass(tree);
    const Lines log = logged();
    const std::string dup = std::string("Resolve ") + c.name + " success, but it's address is duplicate with card-a";
    if (c.refused) {
      EXPECT_EQ(r.getConnStatus(), NotResolved);
      EXPECT_FALSE(r.getAddrInfo());
      EXPECT_TRUE(h.pushes.empty());
      EXPECT_EQ(count_of(log, dup), 1u);
      EXPECT_FALSE(w.contains(c.name));
      EXPECT_EQ(h.queries.size(), 1u);  // the holder's own query only
    } else {
      EXPECT_EQ(r.getConnStatus(), NotConnected);
      EXPECT_TRUE(r.getAddrInfo());
      EXPECT_EQ(count_of(log, dup), 0u);
      EXPECT_EQ(h.queries.size(), 2u);
    }
  }
}

TEST_F(SenderTest, ANumericNameRefusedAsDuplicateIsNotTriedAgainAsAHostName) {
  Remote& holder = add("card-a");
  holder.setAddrInfo(resolver.Resolver::resolve("127.0.0.72", "2993", true));
  holder.setConnStatus(Connected);
  add("127.0.0.72");
  pass();
  EXPECT_TRUE(resolver.callsOf(1).empty());
  EXPECT_EQ(count_of(logged(), "Resolve 127.0.0.72 success, but it's address is duplicate with card-a"), 1u);
}

// --- cadence and misses ------------------------------------------------------------------

TEST_F(SenderTest, QueriesFollowTheFourteenAndFiveSecondCadence) {
  struct Case {
    const char* what;
    std::function<bool(int query)> answered;  // query counts from 0
    int seconds;
    std::vector<int> queryTimes;
  };
  const std::vector<Case> cases = {
      {"answers every query", [](int) { return true; }, 45, {0, 14, 28, 42}},
      {"never answers", [](int) { return false; }, 31, {0, 5, 10, 15, 20, 25, 30}},
      {"misses the first query only", [](int q) { return q > 0; }, 40, {0, 5, 19, 33}},
      {"misses every second query", [](int q) { return q % 2 == 1; }, 40, {0, 5, 19, 24, 38}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SenderRig rig;
    auto& [tree, h, w, res, s] = rig;
    Remote& r = *tree.addRemote("127.0.0.21", "", "", "Master");
    const std::time_t start = 1700001000;
    std::vector<int> times;
    for (int t = 0; t < c.seconds; ++t) {
      clock.set(start + t);
      const std::size_t before = h.queries.size();
      s.runPass(tree);
      if (h.queries.size() == before) continue;
      times.push_back(t);
      if (c.answered(static_cast<int>(times.size()) - 1)) {
        r.lastRecvTime = clock.now();
        w.noteReply(r.name, clock.now(), 0);
      }
    }
    EXPECT_EQ(times, c.queryTimes);
  }
}

// The miss check on one pass, for a card that was connected and whose last query was sent
// at the current time.
TEST_F(SenderTest, MissCountDecidesBetweenConnectedNotConnectedAndNotResolved) {
  struct Case {
    int misses;
    long sinceReply;  // lastSendTime - lastRecvTime
    int status;
    bool reported;  // timeout list and "Can't connect to"
  };
  const std::vector<Case> cases = {
      {3, 10, Connected, false},   {4, 10, NotConnected, true}, {4, 0, Connected, false},
      {4, -2, Connected, false},   {59, 10, NotConnected, true}, {60, 10, NotResolved, false},
      {60, 0, NotResolved, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("misses " + std::to_string(c.misses) + ", since reply " + std::to_string(c.sinceReply));
    LogMemo::instance().clear();
    SenderRig rig;
    auto& [tree, h, w, res, s] = rig;
    Remote& r = *tree.addRemote("127.0.0.31", "", "", "Master");
    s.runPass(tree);  // resolved and first query
    r.setConnStatus(Connected);
    w.put(r.name, WatchEntry{clock.now(), c.misses});
    r.lastSendTime = clock.now();
    r.lastRecvTime = clock.now() - c.sinceReply;
    logged();

    const auto silent = names(s.runPass(tree));
    EXPECT_EQ(r.getConnStatus(), c.status);
    EXPECT_EQ(silent, c.reported ? Lines{"127.0.0.31"} : Lines{});
    EXPECT_EQ(has_line(logged(), "Can't connect to 127.0.0.31"), c.reported);
  }
}

TEST_F(SenderTest, ACardThatFallsSilentIsMarkedAfterItsFourthUnansweredQueryAndLoggedOnce) {
  Remote& r = add("127.0.0.41");
  pass();  // query 1 at t0
  r.setConnStatus(Connected);
  r.lastRecvTime = now();
  watch.noteReply(r.name, now(), 0);  // that one was answered
  logged();

  std::vector<int> queryTimes;
  int markedAt = -1;
  for (int t = 1; t <= 40; ++t) {
    clock.advance(1);
    const std::size_t before = host.queries.size();
    const auto silent = names(pass());
    if (host.queries.size() != before) queryTimes.push_back(t);
    if (r.getConnStatus() == NotConnected && markedAt < 0) markedAt = t;
    if (markedAt >= 0) EXPECT_EQ(silent, Lines{"127.0.0.41"}) << "t " << t;
    else EXPECT_TRUE(silent.empty()) << "t " << t;
  }
  // Unanswered queries at 14, 19, 24, 29: the pass after the fourth marks the card.
  EXPECT_EQ(std::vector<int>(queryTimes.begin(), queryTimes.begin() + 4), (std::vector<int>{14, 19, 24, 29}));
  EXPECT_EQ(markedAt, 30);
  EXPECT_EQ(count_of(logged(), "Can't connect to 127.0.0.41"), 1u);
}

TEST_F(SenderTest, TheTimeoutListNamesEverySilentCardInTreeOrder) {
  Cluster& c1 = addCluster("c1");
  std::vector<Remote*> rs = {&add("127.0.0.81"), &add("127.0.0.82", &c1), &add("127.0.0.83")};
  pass();
  for (Remote* r : rs) {
    r->setConnStatus(Connected);
    r->lastSendTime = now();
    watch.put(r->name, WatchEntry{now(), 5});
  }
  rs[1]->lastRecvTime = now();  // answered since its last query
  watch.put(rs[1]->name, WatchEntry{now(), 0});
  clock.advance(1);
  EXPECT_EQ(names(pass()), (Lines{"127.0.0.81", "127.0.0.83"}));
}

TEST_F(SenderTest, ACardSilentForMoreThanFiftyNineQueriesIsResolvedAgainWithoutAPush) {
  Remote& r = add("127.0.0.91");
  pass();
  ASSERT_EQ(host.pushes.size(), 1u);
  watch.put(r.name, WatchEntry{now(), 60});
  r.lastSendTime = now();
  clock.advance(1);
  EXPECT_TRUE(pass().empty());
  EXPECT_EQ(r.getConnStatus(), NotResolved);

  clock.advance(1);
  const std::size_t before = host.queries.size();
  pass();
  EXPECT_EQ(r.getConnStatus(), NotConnected);
  EXPECT_EQ(host.pushes.size(), 1u);
  EXPECT_EQ(host.queries.size(), before + 1);  // queried in the pass that resolved it
  EXPECT_EQ(watch.get(r.name).missCount, 1);    // counting starts over for the new address
}

TEST_F(SenderTest, AFailedSendStillCountsAsAMissAndLogsBothLines) {
  host.sendResult = -1;
  Remote& r = add("127.0.0.95");
  pass();
  const Lines log = logged();
  const auto failed = std::find(log.begin(), log.end(), "Send data to 127.0.0.95 failed");
  ASSERT_NE(failed, log.end());
  ASSERT_NE(failed + 1, log.end());
  EXPECT_EQ(*(failed + 1), "Send data to 127.0.0.95");
  EXPECT_EQ(watch.get(r.name).missCount, 1);
  EXPECT_EQ(r.lastSendTime.load(), now());
}

// --- interruptions -----------------------------------------------------------------------

TEST_F(SenderTest, bNeedDeleteStopsTheWalk) {
  enum When { Before, WhileResolvingTheFirst, AtTheFirstQuery };
  struct Case {
    const char* what;
    When when;
    std::size_t queries;
    int first, others;  // status of the first card, and of the two after it
  };
  const std::vector<Case> cases = {
      {"set before the pass", Before, 0, NotResolved, NotResolved},
      {"set while the first card is resolved", WhileResolvingTheFirst, 0, NotConnected, NotResolved},
      {"set by the first query", AtTheFirstQuery, 1, NotConnected, NotConnected},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bNeedDelete = c.when == Before;
    SenderRig rig;
    auto& [tree, h, w, res, s] = rig;
    if (c.when == WhileResolvingTheFirst) h.onAdvise = [](const std::string&) { bNeedDelete = true; };
    if (c.when == AtTheFirstQuery) h.onSend = [](const FakeSenderHost::Query&) { bNeedDelete = true; };
    Remote& a = *tree.addRemote("127.0.0.101", "", "", "Master");
    Cluster& c1 = *tree.addCluster("c1");
    Remote& b = *c1.addRemote("127.0.0.102", "", "", "Master");
    Remote& d = *tree.addRemote("127.0.0.103", "", "", "Master");
    s.runPass(tree);
    bNeedDelete = false;
    EXPECT_EQ(h.queries.size(), c.queries);
    EXPECT_EQ(h.queriesTo("127.0.0.101"), c.queries);
    EXPECT_EQ(a.getConnStatus(), c.first);
    EXPECT_EQ(b.getConnStatus(), c.others);
    EXPECT_EQ(d.getConnStatus(), c.others);
  }
}

TEST_F(SenderTest, AddressesStoredBeforeAFailureInThePassAreStillPublished) {
  add("127.0.0.111");
  add("127.0.0.112");
  host.onAdvise = [](const std::string&) { throw std::runtime_error("push"); };
  EXPECT_THROW(pass(), std::runtime_error);
  EXPECT_EQ(host.addressChanges, 1);
  EXPECT_EQ(host.unpublished, 0);

  host.onAdvise = nullptr;
  pass();  // the next pass goes on normally
  EXPECT_EQ(root.findRemote("127.0.0.112")->getConnStatus(), NotConnected);
}

// --- the thread --------------------------------------------------------------------------

class WaitingPushSink : public PushSink {
 public:
  void Advise(const wxString& text) override {
    std::lock_guard<std::mutex> g(lock_);
    texts_.push_back(text.ToStdString());
    cv_.notify_all();
  }
  // The first text pushed, waiting up to `seconds`; empty when none came.
  std::string first(int seconds) {
    std::unique_lock<std::mutex> g(lock_);
    cv_.wait_for(g, std::chrono::seconds(seconds), [this] { return !texts_.empty(); });
    return texts_.empty() ? std::string() : texts_.front();
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  Lines texts_;
};

TEST_F(SenderTest, TheThreadPushesTheTimeoutListOfItsPass) {
  Remote& a = add("127.0.0.121");
  Remote& b = add("127.0.0.122");
  pass();
  for (Remote* r : {&a, &b}) {
    r->setConnStatus(Connected);
    r->lastSendTime = now();
    watch.put(r->name, WatchEntry{now(), 4});
  }
  WaitingPushSink sink;
  SendThread thread(sender, [this] { return &root; }, sink);
  ASSERT_EQ(thread.Run(), wxTHREAD_NO_ERROR);
  const std::string pushed = sink.first(5);
  thread.stop();
  wxLog::FlushActive();  // the pass's trace lines go to this test's capture
  EXPECT_EQ(pushed, "timeout:127.0.0.121,127.0.0.122");
}

TEST_F(SenderTest, TheThreadSurvivesAFailingPassAndReleasesTheTree) {
  WaitingPushSink sink;
  std::mutex m;
  std::condition_variable cv;
  int calls = 0;
  SendThread thread(
      sender,
      [&]() -> Cluster* {
        {
          std::lock_guard<std::mutex> g(m);
          ++calls;
        }
        cv.notify_all();
        throw std::runtime_error("pass");
      },
      sink);
  ASSERT_EQ(thread.Run(), wxTHREAD_NO_ERROR);
  {
    std::unique_lock<std::mutex> g(m);
    EXPECT_TRUE(cv.wait_for(g, std::chrono::seconds(5), [&] { return calls >= 2; }));
  }
  thread.stop();
  EXPECT_EQ(tree_mutex.TryLock(), wxMUTEX_NO_ERROR);  // the failed passes let it go
  tree_mutex.Unlock();
  wxLog::FlushActive();
  EXPECT_GE(count_of(logged(), "OnSend catch a exception"), 2u);
}

}  // namespace
