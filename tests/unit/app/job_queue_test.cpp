#include "job_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "model/tree.h"

namespace {

TEST(JobQueue, RunsJobsInPostedOrderWithTheTreeLockHeld) {
  JobQueue q;
  wxMutex tree;
  std::vector<int> order;
  for (int i = 0; i < 3; ++i)
    q.post([&order, &tree, i] {
      // The lock is held by the runner: a try from here (same thread, non-recursive) fails.
      EXPECT_NE(wxMUTEX_NO_ERROR, tree.TryLock());
      order.push_back(i);
    });
  EXPECT_TRUE(q.run(tree));
  EXPECT_EQ((std::vector<int>{0, 1, 2}), order);
  EXPECT_EQ(0u, q.size());
  // Released afterwards.
  ASSERT_EQ(wxMUTEX_NO_ERROR, tree.TryLock());
  tree.Unlock();
}

TEST(JobQueue, JobsWaitWhileAnotherThreadHoldsTheTree) {
  JobQueue q;
  std::atomic<int> ran{0};
  q.post([&ran] { ++ran; });

  std::atomic<bool> held{false}, release{false};
  std::thread sender([&] {
    wxMutexLocker lock(tree_mutex);
    held = true;
    while (!release) std::this_thread::yield();
  });
  while (!held) std::this_thread::yield();
  EXPECT_FALSE(q.run(tree_mutex));  // a tick while the sender walks the tree
  EXPECT_EQ(0, ran.load());
  EXPECT_EQ(1u, q.size());
  release = true;
  sender.join();
  EXPECT_TRUE(q.run(tree_mutex));  // the next tick
  EXPECT_EQ(1, ran.load());
}

TEST(JobQueue, JobPostedByAJobRunsOnTheNextTick) {
  JobQueue q;
  wxMutex tree;
  int second = 0;
  q.post([&] { q.post([&] { ++second; }); });
  q.run(tree);
  EXPECT_EQ(0, second);
  EXPECT_EQ(1u, q.size());
  q.run(tree);
  EXPECT_EQ(1, second);
}

TEST(JobQueue, PostIsSafeFromManyThreads) {
  JobQueue q;
  wxMutex tree;
  std::atomic<int> ran{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&] {
      for (int i = 0; i < 500; ++i) q.post([&ran] { ++ran; });
    });
  for (auto& p : posters) p.join();
  q.run(tree);
  EXPECT_EQ(2000, ran.load());
}

}  // namespace
