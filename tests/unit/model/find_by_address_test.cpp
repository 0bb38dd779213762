// Matching a datagram's sender to a remote of the tree.
#include <gtest/gtest.h>

#include <string>

#include "model/addr_fixture.h"
#include "model/tree.h"

namespace {

class FindByAddressTest : public ::testing::Test {
 protected:
  RemotePtr add(Cluster& where, const std::string& name, const char* host, const char* port,
                int conn = Connected) {
    RemotePtr r = where.addRemote(name, port, "", "Master");
    if (!r) return nullptr;
    if (host) {
      Resolved res(host, port);
      if (!res) return nullptr;
      r->setAddrInfo(res.info);
    }
    r->setConnStatus(conn);
    return r;
  }

  const Remote* lookup(const char* host, const char* port, const IRemote* skip = nullptr,
                       bool connectedOnly = false) {
    Resolved sender(host, port);
    EXPECT_TRUE(sender) << host;
    return root.findByAddress(sender.addr(), skip, connectedOnly);
  }

  Non_Cluster root{"", nullptr};
};

TEST_F(FindByAddressTest, MatchesFamilyAddressAndPort) {
  RemotePtr v4 = add(root, "v4", "192.0.2.10", "2993");
  RemotePtr v6 = add(root, "v6", "2001:db8::10", "2993");
  RemotePtr other_port = add(root, "other-port", "192.0.2.11", "4000");
  ASSERT_TRUE(v4 && v6 && other_port);

  struct Case {
    const char* host;
    const char* port;
    const Remote* expected;
  };
  const Case cases[] = {
      {"192.0.2.10", "2993", v4.get()},
      {"::ffff:192.0.2.10", "2993", v4.get()},  // dual-stack socket, IPv4 card
      {"::192.0.2.10", "2993", v4.get()},       // IPv4-compatible form
      {"192.0.2.10", "2994", nullptr},          // right card, wrong port
      {"::ffff:192.0.2.10", "4000", nullptr},
      {"192.0.2.12", "2993", nullptr},
      {"2001:db8::10", "2993", v6.get()},
      {"2001:db8::10", "2994", nullptr},
      {"2001:db8::11", "2993", nullptr},
      {"192.0.2.11", "4000", other_port.get()},
      {"192.0.2.11", "2993", nullptr},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, lookup(c.host, c.port)) << c.host << " port " << c.port;

  EXPECT_EQ(nullptr, root.findByAddress(nullptr, nullptr, false));
}

TEST_F(FindByAddressTest, RemotesWithoutResolvedAddressNeverMatch) {
  RemotePtr unresolved = add(root, "unresolved", nullptr, "2993");
  ASSERT_NE(nullptr, unresolved);
  EXPECT_EQ(nullptr, lookup("192.0.2.10", "2993"));
  RemotePtr later = add(root, "later", "192.0.2.10", "2993");
  ASSERT_NE(nullptr, later);
  EXPECT_EQ(later.get(), lookup("192.0.2.10", "2993"));
}

TEST_F(FindByAddressTest, FirstMatchInPreOrderAndSkippedNodesArePassedOver) {
  ClusterPtr c = root.addCluster("c");
  ASSERT_NE(nullptr, c);
  RemotePtr in_cluster = add(*c, "in-cluster", "192.0.2.20", "2993");
  RemotePtr standalone = add(root, "standalone", "192.0.2.20", "2993");
  ASSERT_TRUE(in_cluster && standalone);

  EXPECT_EQ(in_cluster.get(), lookup("192.0.2.20", "2993"));
  EXPECT_EQ(standalone.get(), lookup("192.0.2.20", "2993", in_cluster.get()));
  EXPECT_EQ(standalone.get(), lookup("192.0.2.20", "2993", c.get()));  // a skipped cluster is not searched
  EXPECT_EQ(in_cluster.get(), lookup("192.0.2.20", "2993", standalone.get()));
  EXPECT_EQ(nullptr, c->findByAddress(Resolved("192.0.2.20", "2993").addr(), in_cluster.get(), false));
}

// The connected-only flag applies to the direct children of the cluster asked; members of
// its sub-clusters qualify whatever their state.
TEST_F(FindByAddressTest, ConnectedOnlyRestrictsDirectChildrenOnly) {
  RemotePtr direct = add(root, "direct", "192.0.2.30", "2993", NotConnected);
  ClusterPtr c = root.addCluster("c");
  ASSERT_NE(nullptr, c);
  RemotePtr member = add(*c, "member", "192.0.2.31", "2993", NotResolved);
  RemotePtr linked = add(root, "linked", "192.0.2.32", "2993", Connected);
  ASSERT_TRUE(direct && member && linked);

  struct Case {
    const char* host;
    bool connectedOnly;
    const Remote* expected;
  };
  const Case cases[] = {
      {"192.0.2.30", false, direct.get()},
      {"192.0.2.30", true, nullptr},
      {"192.0.2.31", false, member.get()},
      {"192.0.2.31", true, member.get()},
      {"192.0.2.32", false, linked.get()},
      {"192.0.2.32", true, linked.get()},
  };
  for (const auto& k : cases)
    EXPECT_EQ(k.expected, lookup(k.host, "2993", nullptr, k.connectedOnly))
        << k.host << (k.connectedOnly ? " connected-only" : "");

  // Asked on the cluster itself, its members are direct children.
  Resolved sender("192.0.2.31", "2993");
  EXPECT_EQ(nullptr, c->findByAddress(sender.addr(), nullptr, true));
  EXPECT_EQ(member.get(), c->findByAddress(sender.addr(), nullptr, false));
}

}  // namespace
