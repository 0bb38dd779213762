#include "ipc/push_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ipc::PushQueue;
using std::chrono::milliseconds;

std::vector<std::string> drain(PushQueue& q) {
  std::vector<std::string> out;
  while (!q.empty()) out.push_back(q.take());
  return out;
}

TEST(PushQueue, DropsTheOldestWhenFullAndCountsWhatItDropped) {
  PushQueue q(3);
  for (const char* b : {"a", "b", "c", "d", "e"}) q.add(b);
  EXPECT_EQ(q.take_dropped(), 2u);
  EXPECT_EQ(q.take_dropped(), 0u);  // reported once
  EXPECT_EQ(drain(q), (std::vector<std::string>{"c", "d", "e"}));
}

TEST(PushQueue, ANewerCountdownReplacesTheUnsentOneOfTheSameStage) {
  struct Case {
    std::vector<std::string> added;
    std::vector<std::string> queued;
  } cases[] = {
      {{"shut_seq:1", "shut_seq:230", "remote_info:a(2", "shut_seq:229"},
       {"shut_seq:1", "shut_seq:229", "remote_info:a(2"}},
      {{"shut_seq:25", "shut_seq:310", "shut_seq:24", "shut_seq:39"}, {"shut_seq:24", "shut_seq:39"}},
      {{"shut_seq:2-1", "shut_seq:20"}, {"shut_seq:20"}},
      // Stages without a count are never merged.
      {{"shut_seq:1", "shut_seq:0", "shut_seq:1", "shut_seq:4", "shut_seq:4"},
       {"shut_seq:1", "shut_seq:0", "shut_seq:1", "shut_seq:4", "shut_seq:4"}},
      {{"timeout:a", "timeout:a"}, {"timeout:a", "timeout:a"}},
  };
  for (const auto& c : cases) {
    PushQueue q;
    for (const auto& b : c.added) q.add(b);
    EXPECT_EQ(drain(q), c.queued);
    EXPECT_EQ(q.take_dropped(), 0u);
  }
}

TEST(PushQueue, SequenceTextsGoAheadOfAStatusBacklogInTheirOwnOrder) {
  PushQueue q;
  for (const char* b : {"remote_info:a(2", "remote_info:b(2", "timeout:c"}) q.add(b);
  q.add("shut_seq:1");
  q.add("remote_msg:a(300");
  q.add("shut_seq:25");
  q.add("shut_seq:24");  // replaces the unsent 5
  EXPECT_EQ(drain(q), (std::vector<std::string>{"shut_seq:1", "shut_seq:24", "remote_info:a(2", "remote_info:b(2",
                                                "timeout:c", "remote_msg:a(300"}));
}

TEST(PushQueue, AFullQueueDropsStatusBeforeSequenceTexts) {
  PushQueue q(3);
  q.add("shut_seq:1");
  q.add("remote_info:a(2");
  q.add("remote_info:b(2");
  q.add("shut_seq:4");
  EXPECT_EQ(q.take_dropped(), 1u);
  EXPECT_EQ(drain(q), (std::vector<std::string>{"shut_seq:1", "shut_seq:4", "remote_info:b(2"}));
  // Only sequence texts queued: the oldest goes.
  PushQueue full(2);
  for (const char* b : {"shut_seq:1", "shut_seq:0", "shut_seq:1"}) full.add(b);
  EXPECT_EQ(full.take_dropped(), 1u);
  EXPECT_EQ(drain(full), (std::vector<std::string>{"shut_seq:0", "shut_seq:1"}));
}

TEST(PushQueue, ACountdownAlreadyTakenIsNotReplaced) {
  PushQueue q;
  q.add("shut_seq:210");
  EXPECT_EQ(q.take(), "shut_seq:210");
  q.add("shut_seq:29");
  EXPECT_EQ(drain(q), (std::vector<std::string>{"shut_seq:29"}));
}

TEST(PushQueue, PushesLeaveAtLeastOneSecondApart) {
  const PushQueue::Clock::time_point t0{};  // a fixed moment; no sleeping
  PushQueue q;
  q.add("a");
  q.add("b");
  EXPECT_TRUE(q.due(t0));  // nothing sent yet: the first may go at once
  EXPECT_EQ(q.take(), "a");
  q.sent(t0);
  EXPECT_FALSE(q.due(t0 + milliseconds(999)));
  EXPECT_EQ(q.wait(t0 + milliseconds(400)), milliseconds(600));
  EXPECT_TRUE(q.due(t0 + milliseconds(1000)));
  EXPECT_EQ(q.wait(t0 + milliseconds(1500)), PushQueue::Clock::duration::zero());
}

TEST(PushQueue, ClearingKeepsTheSpacing) {
  const PushQueue::Clock::time_point t0{};
  PushQueue q;
  q.sent(t0);
  q.add("x");
  q.clear();
  EXPECT_TRUE(q.empty());
  EXPECT_FALSE(q.due(t0 + milliseconds(10)));
  q.add("y");
  EXPECT_FALSE(q.due(t0 + milliseconds(10)));
  EXPECT_TRUE(q.due(t0 + milliseconds(1000)));
}

}  // namespace
