// Building, searching and editing the device tree.
#include "model/tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> names(const std::vector<NodePtr>& nodes) {
  std::vector<std::string> out;
  for (const auto& n : nodes) out.push_back(n->name);
  return out;
}

using Names = std::vector<std::string>;

class TreeTest : public ::testing::Test {
 protected:
  Non_Cluster root{"", nullptr};
};

TEST_F(TreeTest, AddRemoteFillsFieldsAndAppendsInOrder) {
  RemotePtr a = root.addRemote("ups-a", "", "PR3000", "LS1");
  RemotePtr b = root.addRemote("10.0.0.9", "5000", "", "Master");
  ASSERT_TRUE(a && b);
  EXPECT_EQ((Names{"ups-a", "10.0.0.9"}), names(root.children));

  EXPECT_EQ(&root, a->parent);
  EXPECT_TRUE(a->isRemote());
  EXPECT_EQ("2993", a->getServ());  // empty service: the cards' default port
  EXPECT_EQ("5000", b->getServ());
  EXPECT_EQ("PR3000", a->getModel());
  EXPECT_EQ("LS1", a->getPowerBy());
  EXPECT_EQ("LS1", a->events.powerby);
  EXPECT_EQ("", a->getHostName());
  EXPECT_EQ("", a->getIp());
  EXPECT_EQ(nullptr, a->getAddrInfo());
  EXPECT_EQ(65535u, a->upsShutdownDelay);
  EXPECT_EQ(0, a->getPowerSource());
  EXPECT_EQ(NotResolved, a->getConnStatus());
  EXPECT_EQ(NotResolved, a->getPrevConnStatus());
  EXPECT_EQ(0, a->lastSendTime.load());
  EXPECT_EQ(0, a->lastRecvTime.load());
  for (int i = 0; i < kEventCount; ++i) EXPECT_EQ(0, a->events.getRawStatus(i)) << i;
}

TEST_F(TreeTest, AddClusterNestsAndOwnsItsMembers) {
  ClusterPtr c = root.addCluster("rack1");
  ASSERT_NE(nullptr, c);
  EXPECT_FALSE(c->isRemote());
  EXPECT_EQ(&root, c->parent);
  RemotePtr m = c->addRemote("m1", "", "", "Master");
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(c.get(), m->parent);
  EXPECT_EQ((Names{"rack1"}), names(root.children));
  EXPECT_EQ((Names{"m1"}), names(c->children));
}

// Names are unique below the cluster asked, including its own name; a refused add changes nothing.
TEST_F(TreeTest, DuplicateNamesAreRefused) {
  ClusterPtr c = root.addCluster("rack1");
  ASSERT_NE(nullptr, c);
  ASSERT_NE(nullptr, c->addRemote("m1", "", "", "Master"));
  ASSERT_NE(nullptr, root.addRemote("solo", "", "", "Master"));

  struct Case {
    Cluster* where;
    const char* name;
  };
  const Case cases[] = {
      {&root, "solo"},   // direct child
      {&root, "m1"},     // deeper down
      {&root, "rack1"},  // a cluster
      {c.get(), "m1"},   // inside the cluster
      {c.get(), "rack1"},  // the cluster's own name
  };
  for (const auto& k : cases) {
    const Names root_before = names(root.children);
    const Names c_before = names(c->children);
    EXPECT_EQ(nullptr, k.where->addRemote(k.name, "", "", "Master")) << k.name;
    EXPECT_EQ(nullptr, k.where->addCluster(k.name)) << k.name;
    EXPECT_EQ(root_before, names(root.children)) << k.name;
    EXPECT_EQ(c_before, names(c->children)) << k.name;
  }
  // Case matters: names are compared byte for byte.
  EXPECT_NE(nullptr, root.addRemote("SOLO", "", "", "Master"));
}

TEST_F(TreeTest, FindWalksDepthFirstPreOrder) {
  ClusterPtr c1 = root.addCluster("c1");
  ClusterPtr c2 = c1->addCluster("c2");
  RemotePtr deep = c2->addRemote("deep", "", "", "Master");
  RemotePtr top = root.addRemote("top", "", "", "Master");
  ASSERT_TRUE(c1 && c2 && deep && top);

  EXPECT_EQ(deep.get(), root.find("deep"));
  EXPECT_EQ(deep.get(), root.findRemote("deep"));
  EXPECT_EQ(nullptr, root.findCluster("deep"));
  EXPECT_EQ(c2.get(), root.findCluster("c2"));
  EXPECT_EQ(nullptr, root.findRemote("c2"));
  EXPECT_EQ(nullptr, root.find("deep", false));  // only direct children then
  EXPECT_EQ(top.get(), root.find("top", false));
  EXPECT_EQ(c1.get(), root.find("c1", false));
  EXPECT_EQ(nullptr, root.find("nope"));
  EXPECT_EQ(nullptr, root.find(""));     // the root's own name is not compared
  EXPECT_EQ(nullptr, c1->find("c1"));    // nor a cluster's
  EXPECT_EQ(nullptr, c1->find("top"));   // nor anything above it
  EXPECT_EQ(deep, root.findRemoteShared("deep"));
  EXPECT_EQ(c2, root.findShared("c2"));
  EXPECT_EQ(nullptr, root.findRemoteShared("c2"));

  // Renaming bypasses the uniqueness check, which exposes the walk order: a node inside an
  // earlier sibling comes before a later sibling of the same name...
  top->name = "deep";
  EXPECT_EQ(deep.get(), root.find("deep"));
  EXPECT_EQ(top.get(), root.find("deep", false));
  // ...and a matching cluster comes before its own children.
  c2->name = "deep";
  EXPECT_EQ(c2.get(), root.find("deep"));
  EXPECT_EQ(nullptr, root.findRemote("deep"));
  EXPECT_EQ(c2.get(), root.findCluster("deep"));
}

TEST_F(TreeTest, AttachMovesANodeToTheEndOfItsNewCluster) {
  RemotePtr a = root.addRemote("a", "", "", "Master");
  ClusterPtr c = root.addCluster("c");
  RemotePtr b = root.addRemote("b", "", "", "Master");
  RemotePtr m = c->addRemote("m", "", "", "Master");
  ASSERT_TRUE(a && b && c && m);

  EXPECT_TRUE(c->attach(a.get()));
  EXPECT_EQ((Names{"c", "b"}), names(root.children));
  EXPECT_EQ((Names{"m", "a"}), names(c->children));
  EXPECT_EQ(c.get(), a->parent);
  EXPECT_EQ(a.get(), root.findRemote("a"));

  // And back up again.
  EXPECT_TRUE(root.attach(m.get()));
  EXPECT_EQ((Names{"c", "b", "m"}), names(root.children));
  EXPECT_EQ((Names{"a"}), names(c->children));
  EXPECT_EQ(&root, m->parent);

  // A cluster moves with its members.
  ClusterPtr d = root.addCluster("d");
  ASSERT_NE(nullptr, d);
  EXPECT_TRUE(d->attach(c.get()));
  EXPECT_EQ((Names{"b", "m", "d"}), names(root.children));
  EXPECT_EQ(d.get(), c->parent);
  EXPECT_EQ(a.get(), root.findRemote("a"));
  EXPECT_EQ(c.get(), a->parent);
}

TEST_F(TreeTest, AttachOfACurrentChildChangesNothing) {
  RemotePtr a = root.addRemote("a", "", "", "Master");
  RemotePtr b = root.addRemote("b", "", "", "Master");
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(root.attach(a.get()));
  EXPECT_EQ((Names{"a", "b"}), names(root.children));  // not moved to the end
  EXPECT_EQ(&root, a->parent);
}

// A node cannot go below itself: the cluster itself and its ancestors are refused, as are a
// null node and a node that no cluster holds.
TEST_F(TreeTest, AttachRefusesCyclesAndStrayNodes) {
  ClusterPtr c1 = root.addCluster("c1");
  ClusterPtr c2 = c1->addCluster("c2");
  ASSERT_TRUE(c1 && c2);
  Remote stray("stray", "", "", "Master", nullptr);

  struct Case {
    const char* what;
    Cluster* target;
    IRemote* node;
  };
  const Case cases[] = {
      {"null", c1.get(), nullptr},
      {"itself", c1.get(), c1.get()},
      {"its parent", c2.get(), c1.get()},
      {"its grandparent (root)", c2.get(), &root},
      {"root into its child", c1.get(), &root},
      {"root into itself", &root, &root},
      {"stray node", c1.get(), &stray},
  };
  for (const auto& k : cases) {
    EXPECT_FALSE(k.target->attach(k.node)) << k.what;
    EXPECT_EQ((Names{"c1"}), names(root.children)) << k.what;
    EXPECT_EQ((Names{"c2"}), names(c1->children)) << k.what;
    EXPECT_TRUE(c2->children.empty()) << k.what;
    EXPECT_EQ(&root, c1->parent) << k.what;
    EXPECT_EQ(c1.get(), c2->parent) << k.what;
    EXPECT_EQ(nullptr, root.parent) << k.what;
  }
}

TEST_F(TreeTest, RemoveNodeTakesTheNodeOutIntoTheCallersTrash) {
  ClusterPtr c = root.addCluster("c");
  RemotePtr m = c->addRemote("m", "", "", "Master");
  RemotePtr n = c->addRemote("n", "", "", "Master");
  RemotePtr s = root.addRemote("s", "", "", "Master");
  ASSERT_TRUE(c && m && n && s);

  EXPECT_TRUE(root.removeNode("m"));
  EXPECT_EQ((Names{"n"}), names(c->children));
  EXPECT_EQ(nullptr, root.find("m"));
  ASSERT_EQ(1u, root.trash.size());
  EXPECT_EQ(m, root.trash.front());
  EXPECT_TRUE(c->trash.empty());

  EXPECT_FALSE(root.removeNode("m"));  // gone already
  EXPECT_FALSE(root.removeNode("nope"));
  EXPECT_FALSE(root.removeNode(""));
  EXPECT_EQ(1u, root.trash.size());

  // Removing a cluster takes its members with it.
  EXPECT_TRUE(root.removeNode("c"));
  EXPECT_EQ((Names{"s"}), names(root.children));
  EXPECT_EQ(nullptr, root.find("n"));
  EXPECT_EQ((Names{"m", "c"}), names(root.trash));
  EXPECT_EQ((Names{"n"}), names(c->children));  // still whole inside the trash

  // The name is free again.
  EXPECT_NE(nullptr, root.addRemote("m", "", "", "Master"));
}

TEST_F(TreeTest, TrashKeepsTheTenNewestRemovals) {
  std::vector<std::weak_ptr<IRemote>> removed;
  for (int i = 0; i < 11; ++i) {
    const std::string name = "r" + std::to_string(i);
    RemotePtr r = root.addRemote(name, "", "", "Master");
    ASSERT_NE(nullptr, r);
    removed.push_back(r);
  }
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(root.removeNode("r" + std::to_string(i)));
  for (const auto& w : removed) EXPECT_FALSE(w.expired());
  EXPECT_EQ(10u, root.trash.size());

  ASSERT_TRUE(root.removeNode("r10"));  // the eleventh removal
  EXPECT_TRUE(removed[0].expired());
  for (int i = 1; i <= 10; ++i) EXPECT_FALSE(removed[i].expired()) << i;
  EXPECT_EQ(10u, root.trash.size());
  EXPECT_EQ("r1", root.trash.front()->name);
  EXPECT_EQ("r10", root.trash.back()->name);
}

TEST_F(TreeTest, TrashCountsPerClusterThatRemoves) {
  ClusterPtr c = root.addCluster("c");
  ASSERT_NE(nullptr, c);
  std::weak_ptr<IRemote> first;
  for (int i = 0; i < 11; ++i) {
    RemotePtr r = c->addRemote("m" + std::to_string(i), "", "", "Master");
    ASSERT_NE(nullptr, r);
    if (i == 0) first = r;
    ASSERT_TRUE(c->removeNode(r->name));
  }
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(10u, c->trash.size());
  EXPECT_TRUE(root.trash.empty());
}

// A datagram queued for the main thread holds its remote; removal and eviction from the
// trash must not destroy it under the holder, and its parent link must not dangle.
TEST_F(TreeTest, QueuedRemoteOutlivesRemovalAndTrashEviction) {
  ClusterPtr c = root.addCluster("c");
  ASSERT_NE(nullptr, c);
  ASSERT_NE(nullptr, c->addRemote("queued", "", "", "LS1"));
  RemotePtr held = root.findRemoteShared("queued");
  ASSERT_NE(nullptr, held);
  held->setConnStatus(Connected);
  held->setEventStatus(LS1, Shutting);

  ASSERT_TRUE(root.removeNode("queued"));
  ASSERT_TRUE(root.removeNode("c"));  // the old parent goes too
  for (int i = 0; i < 10; ++i) {
    ASSERT_NE(nullptr, root.addRemote("x" + std::to_string(i), "", "", "Master"));
    ASSERT_TRUE(root.removeNode("x" + std::to_string(i)));
  }
  c.reset();
  for (const auto& t : root.trash) EXPECT_NE(held, t);

  EXPECT_EQ(1, held.use_count());
  EXPECT_EQ("queued", held->name);
  EXPECT_EQ(nullptr, held->parent);
  EXPECT_EQ(Shutting, held->getShutStatus());
  EXPECT_EQ(nullptr, root.findRemote("queued"));
}

TEST(TreeLifetime, DestroyingTheTreeLeavesHeldNodesWithoutParent) {
  RemotePtr child, trashed, deep;
  {
    Non_Cluster root("", nullptr);
    ClusterPtr c = root.addCluster("c");
    ASSERT_NE(nullptr, c);
    child = root.addRemote("child", "", "", "Master");
    trashed = root.addRemote("trashed", "", "", "Master");
    deep = c->addRemote("deep", "", "", "Master");
    ASSERT_TRUE(child && trashed && deep);
    ASSERT_TRUE(root.removeNode("trashed"));
  }
  EXPECT_EQ(nullptr, child->parent);
  EXPECT_EQ(nullptr, trashed->parent);
  EXPECT_EQ(nullptr, deep->parent);
  EXPECT_EQ(1, deep.use_count());
}

}  // namespace
