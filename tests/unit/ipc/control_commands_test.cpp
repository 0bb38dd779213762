#include "ipc/control_commands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "ipc/status_reports.h"
#include "ipc_test_support.h"
#include "logger/log_ops.h"

namespace {

using Calls = std::vector<std::string>;

class ControlCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_events_ = accepted_events->bits();
    saved_debug_ = debug_mode.load();
    add_connected(host.tree, "ups1", 30);
    room = host.tree.addCluster("room").get();
    RemotePtr silent = room->addRemote("ups2", "", "M2", "");
    silent->setConnStatus(NotConnected);
  }
  void TearDown() override {
    for (int i = 0; i < kEventCount; ++i) accepted_events->set(i, (saved_events_ >> i) & 1u);
    debug_mode = saved_debug_;
    EXPECT_EQ(host.unlocked_uses(), 0) << "the tree or the settings were used without tree_mutex";
  }

  std::string ask(const std::string& body) { return commands.OnRequest(body); }

  FakeHost host;
  ControlCommands commands{host};
  Cluster* room = nullptr;

 private:
  uint16_t saved_events_ = 0;
  bool saved_debug_ = false;
};

struct Exchange {
  std::string body;
  std::string answer;
};

TEST_F(ControlCommandsTest, TheFirstCharactersChooseTheKindOfCommand) {
  const Exchange cases[] = {
      {"get", ""},          {"getfoo", ""},  // read as a "get": an empty answer
      {"setx", "0"},        {"fnord", "0"},  // read as "set" / "fn": refused
      {"save_config", "1"}, {"save_config)whatever follows", "1"},
      {"save_config(x", "0"}, {"", "0"},   {"unknown", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(ask(c.body), c.answer) << c.body;
}

TEST_F(ControlCommandsTest, RemoteQueries) {
  const Exchange cases[] = {
      {"get.remote.hostname(ups1", "host-ups1"},
      {"get.remote.hostname(ups1,any parameter", "host-ups1"},
      {"get.remote.hostname(ups1)", ""},  // the ")" is part of the name
      {"get.remote.ip(ups1", "127.0.0.2"},
      {"get.remote.shutstatus(ups1", "11111111111111"},
      {"get.remote.commstatus(ups1", "2"},
      {"get.remote.ups_shut_delay(ups1", "30"},
      {"get.remote.commstatus(ups2", "1"},
      {"get.remote.ups_shut_delay(ups2", "65535"},  // found inside a cluster; delay unknown
      {"get.remote.type(ups1", ""},
      {"get.remote.power(ups1", ""},
      {"get.remote.ip(nobody", ""},
      {"get.remote.ip(room", ""},  // a cluster is not a remote
      {"get.remote.ip", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ask(c.body), c.answer) << c.body;
  EXPECT_EQ(host.pending_jobs(), 0u);
}

TEST_F(ControlCommandsTest, OtherGets) {
  const Exchange cases[] = {
      {"get.exec_path", "/srv/nox/"},
      {"get.cfg.pwd", "qolvy"},
      {"get.cfg.alias", ""},  // only the password is readable this way
      {"get.cfg", ""},
      {"get.nothing", ""},
      {"getx.exec_path", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ask(c.body), c.answer) << c.body;
  EXPECT_EQ(ask("get.all_rt_info").rfind("ups1\nDevice Mode: Model-ups1\n", 0), 0u);
  EXPECT_EQ(ask("get.protect_setting").rfind("Event Accepted:\nAc Fail: ", 0), 0u);
}

TEST_F(ControlCommandsTest, DelaysReadNumbersAsUnsigned32Bit) {
  struct Case {
    std::string data, answer;
    uint32_t value;
  } cases[] = {
      {"30", "1", 30},         {" 45", "1", 45},      {"+5", "1", 5},
      {"70000", "1", 65536},   {"-2", "1", 65536},    // 4294967294, clamped
      {"-1", "0", 10},         {"30s", "0", 10},      {"", "0", 10},
      {"4294967296", "0", 10}, {"0x10", "0", 10},     {"3 ", "0", 10},
  };
  for (const char* property : {"shutdelay", "max_script_time"}) {
    for (const auto& c : cases) {
      host.cfg.set_shut_delay(10);
      host.cfg.set_max_script_time(10);
      EXPECT_EQ(ask(std::string("set.cfg.") + property + ")" + c.data), c.answer) << property << " " << c.data;
      const uint32_t now = std::string(property) == "shutdelay" ? host.cfg.shut_delay() : host.cfg.max_script_time();
      EXPECT_EQ(now, c.value) << property << " " << c.data;
    }
  }
  EXPECT_EQ(host.run_jobs(), Calls{});  // kept in memory only
}

TEST_F(ControlCommandsTest, SwitchesAreOnOnlyForOne) {
  struct Case {
    std::string data, answer;
    bool on;
  } cases[] = {{"1", "1", true}, {"2", "1", false}, {"0", "1", false}, {"x", "0", true}, {"", "0", true}};
  const std::pair<const char*, bool (NOXConfig::*)() const> switches[] = {
      {"enable_script", &NOXConfig::enable_script},
      {"enable_user_run", &NOXConfig::enable_user_run},
      {"ignore_restore", &NOXConfig::cancel_if},
  };
  for (const auto& [property, getter] : switches) {
    for (const auto& c : cases) {
      ask(std::string("set.cfg.") + property + ")1");
      EXPECT_EQ(ask(std::string("set.cfg.") + property + ")" + c.data), c.answer) << property << " " << c.data;
      EXPECT_EQ((host.cfg.*getter)(), c.on) << property << " " << c.data;
    }
  }
}

TEST_F(ControlCommandsTest, ActionAndAcceptedEventsMayTriggerTheDecision) {
  struct Case {
    std::string body, answer;
    Calls jobs;
  } cases[] = {
      {"set.cfg.action)3", "0", {}},
      {"set.cfg.action)-1", "0", {}},
      {"set.cfg.action)0", "1", {}},
      {"set.cfg.action)2", "1", {"check"}},
      {"set.cfg.action)1", "1", {"check"}},
      {"set.cfg.accept)14,1", "0", {}},
      {"set.cfg.accept)3", "0", {}},
      {"set.cfg.accept)3,1,1", "0", {}},
      {"set.cfg.accept)3\\,1", "0", {}},  // an escaped comma does not split
      {"set.cfg.accept)a,1", "0", {}},
      {"set.cfg.accept)", "0", {}},
      {"set.cfg.accept)3,0", "1", {}},
      {"set.cfg.accept)3,1", "1", {"check"}},
      {"set.cfg.accept)3,2", "1", {}},  // only 1 means accepted
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ask(c.body), c.answer) << c.body;
    EXPECT_EQ(host.run_jobs(), c.jobs) << c.body;
  }
  EXPECT_EQ(host.cfg.action(), 1);
  EXPECT_FALSE(host.cfg.is_event_accepted(3));
  ask("set.cfg.accept)3,1");
  EXPECT_TRUE(host.cfg.is_event_accepted(3));
}

TEST_F(ControlCommandsTest, TextSettingsAndTheirJobs) {
  struct Case {
    std::string body, answer;
    Calls jobs;
  } cases[] = {
      {"set.cfg.alias)" + std::string(70, 'a'), "1", {"rebuild"}},
      {"set.cfg.script)/root/s.sh", "1", {}},
      {"set.cfg.lang)de", "1", {"save"}},
      {"set.cfg.pwd)n3w", "1", {"save"}},
      {"set.cfg.shutdelay()30", "1", {}},  // "(" with an empty argument changes nothing
      {"set.cfg.shutdelay(ignored)31", "1", {}},
      {"set.cfg.shutdelay", "0", {}},
      {"set.cfg.colour)red", "0", {}},
      {"set.other.x)1", "0", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ask(c.body), c.answer) << c.body;
    EXPECT_EQ(host.run_jobs(), c.jobs) << c.body;
  }
  EXPECT_EQ(host.cfg.alias(), std::string(64, 'a'));
  EXPECT_EQ(host.cfg.script(), "/root/s.sh");
  EXPECT_EQ(host.cfg.lang(), "de");
  EXPECT_EQ(ask("get.cfg.pwd"), "n3w");
  EXPECT_EQ(host.cfg.shut_delay(), 31u);
}

TEST_F(ControlCommandsTest, RemoteChangesSaveTheFile) {
  struct Case {
    std::string body, answer;
    Calls jobs;
  } cases[] = {
      {"set.remote.type(ups1)NewModel", "1", {"save"}},
      {"set.remote.power(ups2)LS1", "1", {"save"}},
      {"set.remote.ip(ups1)127.0.0.9", "0", {}},
      {"set.remote.type(nobody)x", "0", {}},
      {"set.remote.type(room)x", "0", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ask(c.body), c.answer) << c.body;
    EXPECT_EQ(host.run_jobs(), c.jobs) << c.body;
  }
  EXPECT_EQ(host.tree.findRemote("ups1")->getModel(), "NewModel");
  EXPECT_EQ(host.tree.findRemote("ups2")->getPowerBy(), "LS1");
  EXPECT_EQ(host.tree.findRemote("ups1")->getIp(), "127.0.0.2");
}

TEST_F(ControlCommandsTest, TreeEditsAlwaysSaveAndNeverMakeACycle) {
  const Exchange cases[] = {
      {"fn.cluster.add_cluster)rack", "1"},  // an empty argument is the root
      {"fn.cluster.add_cluster(rack)shelf", "1"},
      {"fn.cluster.add_cluster(rack)shelf", "0"},
      {"fn.cluster.add_remote(shelf)r9,2993,M9,LS2", "1"},
      {"fn.cluster.add_remote)a\\,b,2993,M,P", "1"},
      {"fn.cluster.add_remote)x,2993,M", "0"},
      {"fn.cluster.add_remote)ups1,2993,M,P", "0"},
      {"fn.cluster.add_remote(nowhere)y,1,M,P", "0"},
      {"fn.cluster.add(shelf)ups1", "1"},
      {"fn.cluster.add(shelf)rack", "0"},  // under its own child
      {"fn.cluster.add(rack)rack", "0"},   // under itself
      {"fn.cluster.add(rack)nobody", "0"},
      {"fn.cluster.add(nowhere)ups1", "0"},
      {"fn.cluster.set_name(shelf)Shelf", "1"},
      {"fn.cluster.set_name)Top", "1"},
      {"fn.cluster.bogus)x", "0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ask(c.body), c.answer) << c.body;
    EXPECT_EQ(host.run_jobs(), Calls{"save"}) << c.body;
  }
  EXPECT_EQ(host.tree.name, "Top");
  Cluster* rack = host.tree.findCluster("rack");
  Cluster* shelf = host.tree.findCluster("Shelf");
  ASSERT_TRUE(rack && shelf);
  EXPECT_EQ(shelf->parent, rack);
  EXPECT_EQ(rack->parent, &host.tree);
  EXPECT_EQ(host.tree.findRemote("ups1")->parent, shelf);
  const Remote* r9 = host.tree.findRemote("r9");
  ASSERT_NE(r9, nullptr);
  EXPECT_EQ(r9->getServ(), "2993");
  EXPECT_EQ(r9->getModel(), "M9");
  EXPECT_EQ(r9->getPowerBy(), "LS2");
  EXPECT_NE(host.tree.findRemote("a,b"), nullptr);

  EXPECT_EQ(ask("fn.other.add_cluster)x"), "0");
  EXPECT_EQ(host.run_jobs(), Calls{});  // not a tree edit at all
}

TEST_F(ControlCommandsTest, RemovingForgetsTheWatchOfEverythingThatWent) {
  Cluster* rack = host.tree.addCluster("rack").get();
  add_connected(*rack, "r2");
  add_connected(*rack->addCluster("shelf"), "r3");

  EXPECT_EQ(ask("fn.cluster.remove)nobody"), "0");
  EXPECT_EQ(host.run_jobs(), Calls{"save"});  // saved all the same
  EXPECT_EQ(ask("fn.cluster.remove(rack)ups1"), "0");  // not below that cluster
  EXPECT_EQ(host.run_jobs(), Calls{"save"});
  EXPECT_TRUE(host.erased().empty());

  EXPECT_EQ(ask("fn.cluster.remove)rack"), "1");
  EXPECT_EQ(host.run_jobs(), (Calls{"check", "save"}));
  EXPECT_EQ(host.erased(), (std::vector<std::string>{"r2", "shelf", "r3"}));
  EXPECT_EQ(host.tree.find("r3"), nullptr);
  EXPECT_FALSE(bNeedDelete.load());

  EXPECT_EQ(ask("fn.cluster.remove(room)ups2"), "1");
  EXPECT_EQ(host.erased().back(), "ups2");
  EXPECT_EQ(host.tree.find("ups2"), nullptr);
}

TEST_F(ControlCommandsTest, CommandsWithoutAVerb) {
  struct Case {
    std::string body;
    Calls jobs;
  } cases[] = {
      {"save_complete", {"shut"}},
      {"save_config", {"save"}},
      {"face_exit", {"exit"}},
      {"face_exit)now", {"exit"}},
      {"run_at_debug_mode", {}},
  };
  debug_mode = false;
  for (const auto& c : cases) {
    EXPECT_EQ(ask(c.body), "1") << c.body;
    EXPECT_EQ(host.run_jobs(), c.jobs) << c.body;
  }
  EXPECT_TRUE(debug_mode.load());
}

TEST_F(ControlCommandsTest, CommandsWaitForTheTreeLock) {
  for (const char* body : {"get.cfg.pwd", "get.remote.ip(ups1", "set.cfg.shutdelay)5", "fn.cluster.add_cluster)x"}) {
    tree_mutex.Lock();  // as if the main thread were handling datagrams
    auto answer = std::async(std::launch::async, [&] { return ask(body); });
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout) << body;
    tree_mutex.Unlock();
    EXPECT_NE(answer.get(), "0") << body;
  }
}

}  // namespace
