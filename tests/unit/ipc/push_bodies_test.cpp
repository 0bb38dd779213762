#include "ipc/push_bodies.h"

#include <gtest/gtest.h>

#include "ipc_test_support.h"

namespace {

TEST(PushBodies, RemoteInfoWritesItsFieldsUnescaped) {
  Non_Cluster root("", nullptr);
  Remote* up = add_connected(root, "ups,1", 45);
  up->setPowerSource(3);
  up->setEventStatus(AcFail, Warning);
  EXPECT_EQ(remote_info_text(*up), "remote_info:ups,1(2,45,3,21111111111111,127.0.0.2,host-ups,1");

  RemotePtr silent = root.addRemote("ups2", "", "", "");
  silent->setConnStatus(NotConnected);
  silent->setUpsShutdownDelay(45);
  EXPECT_EQ(remote_info_text(*silent), "remote_info:ups2(1,65535,0,00000000000011,,");
}

TEST(PushBodies, RemoteMessageListsRestoredAndChangedCodes) {
  Non_Cluster root("", nullptr);
  Remote* r = add_connected(root, "u", 30);
  struct Case {
    std::vector<int> restored, changed;
    std::string tail;
  } cases[] = {
      {{0, 3}, {}, ",0.3,"},  // nothing changed: the body ends with a comma
      {{}, {1}, ",,1"},
      {{}, {}, ",,"},
      {{2}, {5, 10, 11}, ",2,5.10.11"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(remote_msg_text(*r, c.restored, c.changed), "remote_msg:u(30,0,11111111111111" + c.tail);
}

TEST(PushBodies, ShutdownSequenceStages) {
  EXPECT_EQ(shut_seq_text(0), "shut_seq:0");
  EXPECT_EQ(shut_seq_text(1), "shut_seq:1");
  EXPECT_EQ(shut_seq_text(2, 120), "shut_seq:2120");
  EXPECT_EQ(shut_seq_text(2, 0), "shut_seq:20");
  EXPECT_EQ(shut_seq_text(2, -2), "shut_seq:2-2");
  EXPECT_EQ(shut_seq_text(3, 4294967295LL), "shut_seq:34294967295");
  EXPECT_EQ(shut_seq_text(4), "shut_seq:4");
}

TEST(PushBodies, TimeoutEscapesCommasInNames) {
  EXPECT_EQ(timeout_text({"a,b", "c"}), "timeout:a\\,b,c");
  EXPECT_EQ(timeout_text({"solo"}), "timeout:solo");
}

TEST(PushBodies, FullStatusPushFollowsTheTreeDepthFirst) {
  Non_Cluster root("", nullptr);
  add_connected(root, "r1");
  ClusterPtr c = root.addCluster("C");
  add_connected(*c, "r2");
  ClusterPtr d = c->addCluster("D");
  add_connected(*d, "r3");
  add_connected(root, "r4");
  root.addCluster("empty");
  RecordingSink sink;
  push_remote_info(root, sink);
  ASSERT_EQ(sink.texts.size(), 4u);
  const char* order[] = {"r1", "r2", "r3", "r4"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sink.texts[i].rfind(std::string("remote_info:") + order[i] + "(", 0), 0u);
}

}  // namespace
