// The sequence on the real framework timers and a real script process, inside a bounded
// event loop. The shutter and the message output stay fakes.
#include <gtest/gtest.h>

#include <wx/evtloop.h>
#include <wx/unix/evtloop.h>
#include <wx/filefn.h>
#include <wx/timer.h>

#include "model/events.h"
#include "sequence_fakes.h"
#include "sequence_glue.h"

using namespace seqtest;

namespace {

const char* const kNormallyEnded = "log:Execute script period normally ended";
const char* const kForcelyEnded = "log:Execute script period forcely ended";

class FnTimer : public wxTimer {
 public:
  explicit FnTimer(std::function<void()> fn) : fn_(std::move(fn)) {}
  void Notify() override { fn_(); }

 private:
  std::function<void()> fn_;
};

class GlueTest : public ::testing::Test {
 protected:
  // Runs the event loop: `start` once it runs, `done` polled every 20 ms; gives up after
  // `limit_ms`. Returns false when it gave up.
  bool run_loop(std::function<void()> start, std::function<bool()> done, int limit_ms = 10000) {
    wxConsoleEventLoop loop;
    bool gave_up = false;
    FnTimer kick([&] { start(); });
    FnTimer poll([&] {
      if (done()) loop.ScheduleExit();
    });
    FnTimer watchdog([&] {
      gave_up = true;
      loop.ScheduleExit();
    });
    kick.StartOnce(10);
    poll.Start(20);
    watchdog.StartOnce(limit_ms);
    loop.Run();
    return !gave_up;
  }

  void set_script(const std::string& path, uint32_t max_time) {
    host_.cfg.set_enable_script(true);
    host_.cfg.set_script(path);
    host_.cfg.set_max_script_time(max_time);
  }

  Lines pushes() const {
    Lines p;
    for (const auto& l : journal_.lines)
      if (l.rfind("push:", 0) == 0) p.push_back(l.substr(5));
    return p;
  }

  TempDir dir_;
  Journal journal_;
  Recorders rec_{journal_, nullptr};
  FakeHost host_{journal_};
};

// Delay of 2 s, then a script in a directory with a blank in its name, given 2 s; the
// script finishes at once, so the action follows its end rather than the period's.
TEST_F(GlueTest, DelayThenScriptThenActionOnRealTimers) {
  dir_.mkdir("my scripts");
  const std::string marker = dir_.path() + "/ran";
  const std::string script = dir_.write("my scripts/pre shut.sh", "#!/bin/sh\necho ran > '" + marker + "'\n");
  host_.cfg.set_action(1);
  host_.cfg.set_cancel_if(true);
  host_.cfg.set_shut_delay(2);
  set_script(script, 2);

  SequenceGlue glue(host_);
  bool exited = false;
  host_.on_exit = [&] { exited = true; };
  ASSERT_TRUE(run_loop([&] { glue.sequence().cluster_shutdown_check([] { return Shutting; }); },
                       [&] { return exited; }));

  EXPECT_TRUE(wxFileExists(marker)) << "the script path was not started as one program";
  const Lines p = pushes();
  ASSERT_GE(p.size(), 3u);
  EXPECT_EQ(p.front(), "shut_seq:1");
  EXPECT_EQ(p.back(), "shut_seq:4");
  // Stage 2 counts down by the wall clock to 0 or below; seconds are whole, so a tick may
  // land on either side of a second boundary.
  long last_left = 3;
  std::size_t stage2 = 0;
  for (const auto& t : p) {
    if (t.rfind("shut_seq:2", 0) != 0) continue;
    const long left = std::stol(t.substr(10));
    EXPECT_LT(left, last_left);
    last_left = left;
    ++stage2;
  }
  EXPECT_GE(stage2, 1u);
  EXPECT_LE(last_left, 0);
  EXPECT_EQ(journal_.count("stop_comm"), 1u);
  EXPECT_EQ(journal_.count("log:Execute script: " + script), 1u);
  EXPECT_EQ(journal_.count(kNormallyEnded), 1u);
  EXPECT_EQ(journal_.count(kForcelyEnded), 0u);
  EXPECT_EQ(journal_.count("shutdown"), 1u);
  EXPECT_LT(journal_.index_of(kNormallyEnded), journal_.index_of("push:shut_seq:4"));
  EXPECT_FALSE(glue.sequence().script_period());
}

// The script outlives its one-second period: the period is cut off, the action runs once,
// and the script's later end only writes its trace line.
TEST_F(GlueTest, ScriptOutlivingItsPeriodOnlyWritesItsTraceLater) {
  const std::string script = dir_.write("slow.sh", "#!/bin/sh\nsleep 2.2\n");
  host_.cfg.set_action(1);
  host_.cfg.set_shut_delay(0);
  set_script(script, 1);

  SequenceGlue glue(host_);
  ASSERT_TRUE(run_loop([&] { glue.sequence().cluster_shutdown_check([] { return Shutting; }); },
                       [&] { return journal_.count(kNormallyEnded) == 1; }));

  const Lines p = pushes();
  EXPECT_EQ(p, (Lines{"shut_seq:1", "shut_seq:31", "shut_seq:4"}));
  EXPECT_EQ(journal_.count("shutdown"), 1u);
  EXPECT_LT(journal_.index_of(kForcelyEnded), journal_.index_of(kNormallyEnded));
  EXPECT_EQ(journal_.lines.back(), kNormallyEnded);
}

// A script still running from an earlier period ends during the next one; only the
// current script may end the current period.
TEST_F(GlueTest, EarlierScriptEndingDoesNotEndTheNextPeriod) {
  // Timeline: first script 0 s to 1.8 s, its period cut off at 1 s; second script from
  // about 1 s to 2.5 s, with a period of 5 s.
  const std::string first = dir_.write("first.sh", "#!/bin/sh\nsleep 1.8\n");
  const std::string second = dir_.write("second.sh", "#!/bin/sh\nsleep 1.5\n");
  host_.cfg.set_action(1);
  set_script(first, 1);

  SequenceGlue glue(host_);
  bool second_started = false;
  ASSERT_TRUE(run_loop([&] { glue.sequence().run_script(); },
                       [&] {
                         if (!second_started && journal_.count("shutdown") == 1) {
                           second_started = true;
                           set_script(second, 5);
                           glue.sequence().run_script();
                         }
                         return journal_.count("shutdown") == 2;
                       }));

  // Had the first script's end closed the second period, its stage 4 would come before
  // the second script's end.
  const long second_launch = journal_.index_of("log:Execute script: " + second);
  const long first_end = journal_.index_of(kNormallyEnded, 0);
  const long second_end = journal_.index_of(kNormallyEnded, 1);
  const long second_stage4 = journal_.index_of("push:shut_seq:4", 1);
  ASSERT_GE(second_launch, 0);
  EXPECT_LT(second_launch, first_end);
  EXPECT_LT(first_end, second_end);
  EXPECT_LT(second_end, second_stage4);
  EXPECT_EQ(journal_.count(kForcelyEnded), 1u);
}

// The sequence and its glue go away while the script runs (the agent exits): the process
// object must outlive them and, when the script ends, touch nothing but its trace line.
TEST_F(GlueTest, ScriptEndingAfterTheGlueIsGoneOnlyWritesItsTrace) {
  const std::string script = dir_.write("slow.sh", "#!/bin/sh\nsleep 0.3\n");
  host_.cfg.set_action(1);
  set_script(script, 5);

  auto glue = std::make_unique<SequenceGlue>(host_);
  ASSERT_TRUE(run_loop(
      [&] {
        glue->sequence().run_script();
        glue.reset();
      },
      [&] { return journal_.count(kNormallyEnded) == 1; }));
  EXPECT_EQ(journal_.count("push:shut_seq:4"), 0u);
  EXPECT_EQ(journal_.count("shutdown"), 0u);
}

// A file that exists but cannot be executed ends at once, and so does its period.
TEST_F(GlueTest, ScriptThatCannotBeExecutedEndsThePeriodAtOnce) {
  const std::string script = dir_.write("not-executable.sh", "#!/bin/sh\nexit 0\n", false);
  host_.cfg.set_action(1);
  set_script(script, 30);

  SequenceGlue glue(host_);
  ASSERT_TRUE(run_loop([&] { glue.sequence().run_script(); }, [&] { return journal_.count("shutdown") == 1; }, 5000));
  EXPECT_EQ(pushes(), (Lines{"shut_seq:4"}));
  EXPECT_EQ(journal_.count(kForcelyEnded), 0u);
}

TEST(SequenceGlueProgram, BareNameRunsTheFileInTheWorkingDirectory) {
  const struct {
    std::string setting, program;
  } cases[] = {
      {"run.sh", "./run.sh"},
      {"my script", "./my script"},
      {"./run.sh", "./run.sh"},
      {"bin/run.sh", "bin/run.sh"},
      {"/opt/my scripts/run.sh", "/opt/my scripts/run.sh"},
  };
  for (const auto& c : cases) EXPECT_EQ(SequenceGlue::program_path(c.setting), c.program) << c.setting;
}

}  // namespace
