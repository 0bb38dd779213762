// The sender's per-remote query bookkeeping: when a query is due, what a reply does, and
// that a reply racing with a query is never lost.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "watch_table.h"

namespace {

constexpr std::time_t T = 1700000000;

TEST(WatchTableTest, EntriesAreCreatedEmptyWhereLookedUp) {
  WatchTable w;
  EXPECT_FALSE(w.contains("a"));
  const WatchEntry e = w.get("a");
  EXPECT_EQ(e.lastQueryTime, 0);
  EXPECT_EQ(e.missCount, 0);
  EXPECT_TRUE(w.contains("a"));
  EXPECT_FALSE(w.add("a"));  // already there
  EXPECT_TRUE(w.add("b"));
  w.put("b", WatchEntry{T, 7});
  EXPECT_FALSE(w.add("b"));
  EXPECT_EQ(w.get("b").missCount, 7);  // add left it alone
  w.erase("a");
  EXPECT_FALSE(w.contains("a"));
  EXPECT_EQ(w.size(), 1u);
  w.clear();
  EXPECT_EQ(w.size(), 0u);
}

TEST(WatchTableTest, AQueryIsDueOnFirstUseEveryFourteenSecondsAndFiveAfterAMiss) {
  struct Case {
    WatchEntry before;
    std::time_t now;
    bool due;
  };
  const std::vector<Case> cases = {
      {{0, 0}, T, true},       // never queried
      {{0, 9}, T, true},       // never queried, whatever the count says
      {{T, 0}, T + 13, false}, {{T, 0}, T + 14, true},  // answering card
      {{T, 0}, T + 5, false},                           // five seconds only after a miss
      {{T, 1}, T + 4, false},  {{T, 1}, T + 5, true},   // silent card
      {{T, 12}, T + 5, true},  {{T, 3}, T + 14, true},
      {{T + 1, 0}, T + 14, false},  // a reply may put the last query slightly ahead
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("last " + std::to_string(c.before.lastQueryTime - T) + ", misses " +
                 std::to_string(c.before.missCount) + ", now " + std::to_string(c.now - T));
    WatchTable w;
    w.put("r", c.before);
    EXPECT_EQ(w.takeQuery("r", c.now, 5, 14), c.due);
    const WatchEntry after = w.get("r");
    if (c.due) {
      EXPECT_EQ(after.lastQueryTime, c.now);
      EXPECT_EQ(after.missCount, c.before.missCount + 1);
    } else {
      EXPECT_EQ(after.lastQueryTime, c.before.lastQueryTime);
      EXPECT_EQ(after.missCount, c.before.missCount);
    }
  }
}

// A reply clears the misses; a card that had missed more than three queries gets its next
// regular query 12 to 15 seconds after the reply, the others keep their timing.
TEST(WatchTableTest, AReplyAfterALongSilencePutsTheNextQueryTwelveToFifteenSecondsAhead) {
  struct Case {
    int misses;
    int rand_value;
    int nextQueryAfterReply;  // seconds; -1 = the query time is left as it was
  };
  const std::vector<Case> cases = {
      {0, 3, -1}, {1, 3, -1}, {3, 0, -1}, {4, 0, 12}, {4, 1, 13}, {4, 2, 14}, {4, 3, 15}, {60, 7, 15}, {9, 8, 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("misses " + std::to_string(c.misses) + ", rand " + std::to_string(c.rand_value));
    WatchTable w;
    const std::time_t lastQuery = T - 2;
    const std::time_t reply = T;
    w.put("r", WatchEntry{lastQuery, c.misses});
    w.noteReply("r", reply, c.rand_value);
    const WatchEntry e = w.get("r");
    EXPECT_EQ(e.missCount, 0);
    if (c.nextQueryAfterReply < 0) {
      EXPECT_EQ(e.lastQueryTime, lastQuery);
      continue;
    }
    EXPECT_FALSE(w.takeQuery("r", reply + c.nextQueryAfterReply - 1, 5, 14));
    EXPECT_TRUE(w.takeQuery("r", reply + c.nextQueryAfterReply, 5, 14));
  }
}

TEST(WatchTableTest, AReplyForAnUnknownNameStartsAnEmptyEntry) {
  WatchTable w;
  w.noteReply("new", T, 3);
  EXPECT_TRUE(w.contains("new"));
  EXPECT_EQ(w.get("new").lastQueryTime, 0);
  EXPECT_EQ(w.get("new").missCount, 0);
}

// Queries and replies on many entries at once from two threads. Every entry starts silent
// (five misses); whichever comes first, the outcome is either "query, then reply" (0 misses)
// or "reply, then query" (1 miss). A reply lost between a read and a write of the query
// would leave 6.
TEST(WatchTableTest, AReplyRacingWithAQueryIsNeverLost) {
  constexpr int kNames = 20000;
  WatchTable w;
  std::vector<std::string> names;
  for (int i = 0; i < kNames; ++i) {
    names.push_back("r" + std::to_string(i));
    w.put(names.back(), WatchEntry{T - 100, 5});
  }
  std::atomic<bool> go{false};
  std::thread sender([&] {
    while (!go) std::this_thread::yield();
    for (const auto& n : names) w.takeQuery(n, T, 5, 14);
  });
  std::thread receiver([&] {
    while (!go) std::this_thread::yield();
    for (const auto& n : names) w.noteReply(n, T, 0);
  });
  go = true;
  sender.join();
  receiver.join();
  for (const auto& n : names) {
    const int misses = w.get(n).missCount;
    ASSERT_TRUE(misses == 0 || misses == 1) << n << " has " << misses;
  }
}

}  // namespace
