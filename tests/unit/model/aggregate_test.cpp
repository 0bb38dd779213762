// Status aggregation: a remote from its events, a cluster over its members, the root over
// the stand-alone remotes and the clusters.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/accepted_guard.h"
#include "model/tree.h"

namespace {

// A member whose status is fixed, so the aggregation rules are seen in isolation.
class FixedNode : public IRemote {
 public:
  FixedNode(int status, Cluster* p) : IRemote("fixed" + std::to_string(status), p), status_(status) {}
  int getShutStatus() const override { return status_; }
  bool isRemote() const override { return true; }

 private:
  int status_;
};

void fill(Cluster& c, const std::vector<int>& statuses) {
  for (int s : statuses) c.children.push_back(std::make_shared<FixedNode>(s, &c));
}

std::string describe(const std::vector<int>& statuses) {
  std::string out = "{";
  for (int s : statuses) out += std::to_string(s) + ",";
  return out + "}";
}

struct AggCase {
  std::vector<int> members;
  int expected;
};

TEST(ClusterAggregate, ReportsAgreementOfTheMembersThatReport) {
  const AggCase cases[] = {
      // Nobody reports: Normal.
      {{}, Normal},
      {{Unknown}, Normal},
      {{Unknown, Unknown, Unknown}, Normal},
      // All reporting members agree.
      {{Normal}, Normal},
      {{Normal, Normal}, Normal},
      {{Shutting}, Shutting},
      {{Shutting, Shutting}, Shutting},
      {{Unknown, Shutting, Unknown, Shutting}, Shutting},
      {{Normal, Unknown, Normal}, Normal},
      // Any warning wins, wherever it stands.
      {{Warning}, Warning},
      {{Warning, Shutting, Shutting}, Warning},
      {{Shutting, Shutting, Warning}, Warning},
      {{Normal, Warning}, Warning},
      {{Unknown, Warning}, Warning},
      // Disagreement between Normal and Shutting is only a warning.
      {{Normal, Shutting}, Warning},
      {{Shutting, Normal}, Warning},
      {{Shutting, Shutting, Normal}, Warning},
      {{Normal, Unknown, Shutting}, Warning},
      {{Shutting, Unknown, Unknown, Normal}, Warning},
  };
  for (const auto& c : cases) {
    Cluster cluster("C", nullptr);
    fill(cluster, c.members);
    EXPECT_EQ(c.expected, cluster.getShutStatus()) << describe(c.members);
  }
}

TEST(RootAggregate, AnyStandAloneShuttingProtectsTheHost) {
  const AggCase cases[] = {
      {{}, Normal},
      {{Unknown}, Normal},
      {{Unknown, Normal}, Normal},
      {{Warning}, Warning},
      {{Normal, Warning, Unknown}, Warning},
      {{Shutting}, Shutting},
      {{Normal, Shutting}, Shutting},
      {{Shutting, Normal}, Shutting},
      {{Shutting, Warning}, Shutting},
      {{Warning, Shutting, Unknown}, Shutting},
  };
  for (const auto& c : cases) {
    Non_Cluster root("", nullptr);
    fill(root, c.members);
    EXPECT_EQ(c.expected, root.getShutStatus()) << describe(c.members);
  }
}

TEST(RootAggregate, CountsClustersByTheClusterRule) {
  struct Case {
    std::vector<int> standalone;
    std::vector<int> cluster;
    int expected;
  };
  const Case cases[] = {
      {{}, {Shutting, Shutting}, Shutting},
      {{}, {Shutting, Unknown}, Shutting},
      {{}, {Shutting, Normal}, Warning},
      {{Normal}, {Shutting, Normal}, Warning},
      {{Shutting}, {Normal, Normal}, Shutting},
      {{Normal}, {Unknown, Unknown}, Normal},
      {{}, {}, Normal},
  };
  for (const auto& c : cases) {
    Non_Cluster root("", nullptr);
    fill(root, c.standalone);
    ClusterPtr cl = root.addCluster("C");
    ASSERT_NE(nullptr, cl);
    fill(*cl, c.cluster);
    EXPECT_EQ(c.expected, root.getShutStatus())
        << "stand-alone " << describe(c.standalone) << " cluster " << describe(c.cluster);
  }
}

using RemoteStatusTest = AcceptedEventsTest;

// A remote reports its events only while Connected.
TEST_F(RemoteStatusTest, RemoteStatusFollowsEventsOnlyWhileConnected) {
  struct Case {
    int conn;
    const char* powerby;
    int index;  // entry set to the raw status below, -1 for none
    int raw;
    int expected;
  };
  const Case cases[] = {
      {NotResolved, "Master", AcFail, Shutting, Unknown},
      {NotConnected, "Master", AcFail, Shutting, Unknown},
      {NotConnected, "Master", Overload, Warning, Unknown},
      {Connected, "Master", AcFail, Shutting, Shutting},
      {Connected, "Master", Overload, Shutting, Warning},
      {Connected, "Master", AcFail, Warning, Warning},
      {Connected, "Master", AcFail, Normal, Normal},
      {Connected, "Master", -1, 0, Normal},
      {Connected, "Master", LS1, Shutting, Normal},
      {Connected, "LS1", LS1, Shutting, Shutting},
  };
  for (const auto& c : cases) {
    Remote r("ups", "", "m", c.powerby, nullptr);
    r.setConnStatus(c.conn);
    if (c.index >= 0) r.setEventStatus(c.index, c.raw);
    EXPECT_EQ(c.expected, r.getShutStatus())
        << "conn " << c.conn << " powerby " << c.powerby << " entry " << c.index << "=" << c.raw;
  }
}

// Real remotes in a cluster: the ones not connected do not vote.
TEST_F(RemoteStatusTest, ClusterOfRemotesIgnoresMembersNotConnected) {
  Non_Cluster root("", nullptr);
  ClusterPtr cl = root.addCluster("pair");
  RemotePtr a = cl->addRemote("a", "", "m", "Master");
  RemotePtr b = cl->addRemote("b", "", "m", "Master");
  ASSERT_TRUE(cl && a && b);

  EXPECT_EQ(Normal, root.getShutStatus());  // nobody connected

  a->setConnStatus(Connected);
  a->setEventStatus(AcFail, Shutting);
  EXPECT_EQ(Shutting, cl->getShutStatus());  // b does not vote
  EXPECT_EQ(Shutting, root.getShutStatus());

  b->setConnStatus(Connected);
  b->setEventStatus(AcFail, Normal);
  EXPECT_EQ(Warning, cl->getShutStatus());  // b still on utility power
  EXPECT_EQ(Warning, root.getShutStatus());

  b->setEventStatus(AcFail, Shutting);
  EXPECT_EQ(Shutting, root.getShutStatus());

  b->setConnStatus(NotConnected);  // drops b's events and its vote
  EXPECT_EQ(Shutting, root.getShutStatus());
  a->setConnStatus(NotConnected);
  EXPECT_EQ(Normal, root.getShutStatus());
}

}  // namespace
