#include "helper/noxconfig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "model/accepted_guard.h"
#include "model/events.h"

namespace {

// Built with a given alias so that no test looks up the host's name.
class NOXConfigTest : public AcceptedEventsTest {
 protected:
  NOXConfig cfg{"agent"};
};

TEST_F(NOXConfigTest, NewObjectHoldsTheDefaults) {
  EXPECT_EQ("agent", cfg.alias());
  EXPECT_FALSE(cfg.cancel_if());
  EXPECT_EQ(0u, cfg.shut_delay());
  EXPECT_FALSE(cfg.enable_script());
  EXPECT_FALSE(cfg.enable_user_run());
  EXPECT_EQ("", cfg.script());
  EXPECT_EQ(60u, cfg.max_script_time());
  EXPECT_EQ(1, cfg.action());
  EXPECT_EQ("qolvy", cfg.pwd());
  EXPECT_EQ("en-us", cfg.lang());
  EXPECT_EQ(3034u, cfg.server_udp_port());
  EXPECT_EQ(0u, cfg.setting_time());
}

TEST_F(NOXConfigTest, GivenAliasIsKeptWholeEvenWhenLong) {
  // Only setting (and loading) cuts the alias; a constructed one is taken as it is.
  const std::string long_alias(80, 'h');
  NOXConfig c(long_alias);
  EXPECT_EQ(long_alias, c.alias());
}

TEST_F(NOXConfigTest, SecondsAreClampedAt65536) {
  struct Case {
    uint32_t in;
    uint32_t stored;
  };
  const Case cases[] = {{0, 0},         {1, 1},         {65535, 65535},          {65536, 65536},
                        {65537, 65536}, {100000, 65536}, {0xFFFFFFFFu, 65536}};
  for (const auto& c : cases) {
    EXPECT_TRUE(cfg.set_shut_delay(c.in));
    EXPECT_EQ(c.stored, cfg.shut_delay()) << c.in;
    EXPECT_TRUE(cfg.set_max_script_time(c.in));
    EXPECT_EQ(c.stored, cfg.max_script_time()) << c.in;
  }
}

TEST_F(NOXConfigTest, AliasIsCutToSixtyFourBytes) {
  struct Case {
    std::string in;
    std::string stored;
  };
  const std::string s64(64, 'a');
  const Case cases[] = {
      {"", ""},
      {"host-1", "host-1"},
      {std::string(63, 'b'), std::string(63, 'b')},
      {s64, s64},
      {s64 + "X", s64},
      {std::string(100, 'c'), std::string(64, 'c')},
      // Bytes, not characters: a multibyte sequence may be split at the cut.
      {std::string(63, 'd') + "\xc3\xa9" "e", std::string(63, 'd') + "\xc3"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(cfg.set_alias(c.in));
    EXPECT_EQ(c.stored, cfg.alias()) << c.in.size() << " bytes";
  }
}

TEST_F(NOXConfigTest, OtherSettersStoreTheirValueUnchecked) {
  EXPECT_TRUE(cfg.set_cancel_if(true));
  EXPECT_TRUE(cfg.cancel_if());
  EXPECT_TRUE(cfg.set_enable_script(true));
  EXPECT_TRUE(cfg.enable_script());
  EXPECT_TRUE(cfg.set_enable_user_run(true));
  EXPECT_TRUE(cfg.enable_user_run());
  EXPECT_TRUE(cfg.set_script("/usr/local/bin/before-off.sh arg"));
  EXPECT_EQ("/usr/local/bin/before-off.sh arg", cfg.script());
  EXPECT_TRUE(cfg.set_pwd(""));
  EXPECT_EQ("", cfg.pwd());
  EXPECT_TRUE(cfg.set_lang("xx-nowhere"));
  EXPECT_EQ("xx-nowhere", cfg.lang());
  for (int32_t a : {0, 2, 7, -1}) {
    EXPECT_TRUE(cfg.set_action(a));
    EXPECT_EQ(a, cfg.action());
  }
  for (uint32_t port : {0u, 65535u, 70000u}) {
    cfg.set_server_udp_port(port);
    EXPECT_EQ(port, cfg.server_udp_port());
  }
  EXPECT_TRUE(cfg.set_cancel_if(false));
  EXPECT_FALSE(cfg.cancel_if());
}

TEST_F(NOXConfigTest, SettingTimeAddsTheScriptOnlyWhenEnabled) {
  struct Case {
    uint32_t delay;
    uint32_t script_time;
    bool script;
    uint32_t expected;
  };
  const Case cases[] = {
      {120, 60, true, 180},
      {120, 60, false, 120},
      {0, 0, true, 0},
      {0, 60, true, 60},
      {70000, 70000, true, 131072},  // both clamped first
      {70000, 5, false, 65536},
  };
  for (const auto& c : cases) {
    cfg.set_shut_delay(c.delay);
    cfg.set_max_script_time(c.script_time);
    cfg.set_enable_script(c.script);
    EXPECT_EQ(c.expected, cfg.setting_time())
        << c.delay << " + " << c.script_time << (c.script ? " with script" : " without");
  }
}

TEST_F(NOXConfigTest, FreshProcessAcceptsTheDefaultEventKinds) {
  for (int code = 0; code < kEventCount; ++code) {
    const bool expected = !(code == Overload || code == OverTp || (code >= EMPTp && code <= EMPCt2));
    EXPECT_EQ(expected, cfg.is_event_accepted(code)) << "code " << code;
  }
}

// The accepted set belongs to the process, not to one settings object: every object sees
// the same flags, every remote's event list too, and a rebuilt object keeps them.
TEST_F(NOXConfigTest, AcceptedEventsAreSharedAndSurviveANewObject) {
  EvtList list;
  list.powerby = "Master";
  list.setEventStatus(Overload, Shutting);
  EXPECT_EQ(Warning, list.getShutStatus());

  auto other = std::make_unique<NOXConfig>("other");
  EXPECT_TRUE(cfg.set_event_accept(Overload, true));
  EXPECT_TRUE(other->is_event_accepted(Overload));
  EXPECT_TRUE(accepted_events->test(Overload));
  EXPECT_EQ(Shutting, list.getShutStatus());

  EXPECT_TRUE(other->set_event_accept(AcFail, false));
  EXPECT_FALSE(cfg.is_event_accepted(AcFail));

  // A rebuild destroys the object and makes a new one; the flags stay as they were.
  other.reset();
  auto rebuilt = std::make_unique<NOXConfig>("rebuilt");
  EXPECT_TRUE(rebuilt->is_event_accepted(Overload));
  EXPECT_FALSE(rebuilt->is_event_accepted(AcFail));
  EXPECT_TRUE(rebuilt->is_event_accepted(BatteryLow));
  EXPECT_EQ(Shutting, list.getShutStatus());
}

TEST_F(NOXConfigTest, UnknownEventCodesAreRefusedAndChangeNothing) {
  const uint16_t before = accepted_events->bits();
  for (int code : {-1, 14, 15, 64}) {
    EXPECT_FALSE(cfg.set_event_accept(code, true)) << code;
    EXPECT_FALSE(cfg.set_event_accept(code, false)) << code;
    EXPECT_FALSE(cfg.is_event_accepted(code)) << code;
  }
  EXPECT_EQ(before, accepted_events->bits());
}

// The control thread writes texts while other threads read them: a reader must only ever
// see one whole value or the other.
TEST_F(NOXConfigTest, TextsReadWhileWrittenAreAlwaysWhole) {
  const std::string a(40, 'a'), b(300, 'b');  // the long one lives on the heap
  cfg.set_pwd(a);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) cfg.set_pwd(i % 2 ? a : b);
  });
  long torn = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::string seen = cfg.pwd();
    if (seen != a && seen != b) ++torn;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(0, torn);
}

}  // namespace
