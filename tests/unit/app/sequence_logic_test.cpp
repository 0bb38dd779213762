// The shutdown decision and sequence as a state machine: fake clock, fake timers, fake
// shutter and message output; every step checked in order.
#include <gtest/gtest.h>

#include "model/events.h"
#include "sequence_fakes.h"

using namespace seqtest;

namespace {

const char* const kEnterDecision = "log:Cluster shutdown check decide to enter shutdown sequence";
const char* const kRestoreDecision = "log:Cluster shutdown check decide to restore from shutdown sequence";
const char* const kStopAtBegin = "log:Stop commnunication at the beginning of shutdown delay";
const char* const kStopAtEnd = "log:Stop commnunication at the end of shutdown sequence";

// Timers are state only; the test delivers the ticks.
class FakeDriver : public SequenceDriver {
 public:
  FakeDriver(Journal& j, FakeClock& clock) : j_(j), clock_(clock) {}
  void start_delay_timer() override { delay_on = true; }
  void stop_delay_timer() override { delay_on = false; }
  void start_script_timer() override { script_on = true; }
  void stop_script_timer() override { script_on = false; }
  bool launch_script(const std::string& path) override {
    j_.add("launch:" + path);
    if (during_launch) during_launch();
    return launch_ok;
  }
  void release_script() override { j_.add("release_script"); }
  void pause_ms(unsigned long ms) override {
    j_.add("pause:" + std::to_string(ms));
    clock_.advance(static_cast<std::time_t>(ms / 1000));
  }

  bool delay_on = false;
  bool script_on = false;
  bool launch_ok = true;
  std::function<void()> during_launch;

 private:
  Journal& j_;
  FakeClock& clock_;
};

enum class ScriptKind { None, File, Empty, Directory, WithArgument, NotStarted, EndsWhileStarting };

// Settings and outcomes of one run, changed from the defaults by chained calls.
struct Plan {
  int action = 1;
  bool cancel_if = false;
  uint32_t delay = 0;
  bool enable_script = false;
  uint32_t max_time = 60;
  ScriptKind script = ScriptKind::None;
  int ends_after = -1;  // the script ends after this many ticks of its period; -1 never
  bool shutdown_ok = true;
  bool sleep_ok = true;

  Plan act(int a) const { Plan s = *this; s.action = a; return s; }
  Plan cancel(bool c) const { Plan s = *this; s.cancel_if = c; return s; }
  Plan wait(uint32_t d) const { Plan s = *this; s.delay = d; return s; }
  Plan script_of(ScriptKind k, uint32_t max, int ends = -1) const {
    Plan s = *this;
    s.enable_script = true;
    s.script = k;
    s.max_time = max;
    s.ends_after = ends;
    return s;
  }
  Plan shutdown_fails() const { Plan s = *this; s.shutdown_ok = false; return s; }
  Plan sleep_fails() const { Plan s = *this; s.sleep_ok = false; return s; }
};

class SequenceTest : public ::testing::Test {
 protected:
  SequenceTest() {
    script_file_ = dir_.write("shut down.sh", "#!/bin/sh\nexit 0\n");
    script_dir_ = dir_.mkdir("scripts");
  }

  void apply(const Plan& s) {
    NOXConfig& cfg = host_.cfg;
    cfg.set_action(s.action);
    cfg.set_cancel_if(s.cancel_if);
    cfg.set_shut_delay(s.delay);
    cfg.set_enable_script(s.enable_script);
    cfg.set_max_script_time(s.max_time);
    switch (s.script) {
      case ScriptKind::None:
      case ScriptKind::Empty: cfg.set_script(""); break;
      case ScriptKind::Directory: cfg.set_script(script_dir_); break;
      case ScriptKind::WithArgument: cfg.set_script(script_file_ + " --now"); break;
      case ScriptKind::File:
      case ScriptKind::NotStarted:
      case ScriptKind::EndsWhileStarting: cfg.set_script(script_file_); break;
    }
    driver_.launch_ok = s.script != ScriptKind::NotStarted;
    if (s.script == ScriptKind::EndsWhileStarting) driver_.during_launch = [this] { seq_.on_script_terminated(); };
    rec_.shutter.shutdown_ok = s.shutdown_ok;
    rec_.shutter.sleep_ok = s.sleep_ok;
  }

  void check() {
    seq_.cluster_shutdown_check([this] { return root_; });
  }

  // Delivers one-second ticks until no timer runs; the script ends after `ends_after`
  // ticks of its period.
  void run_out(int ends_after = -1) {
    int script_ticks = 0;
    for (int guard = 0; guard < 500; ++guard) {
      if (driver_.delay_on) {
        clock_.advance(1);
        seq_.on_delay_timer();
      } else if (driver_.script_on) {
        if (script_ticks == ends_after) {
          seq_.on_script_terminated();
        } else {
          clock_.advance(1);
          ++script_ticks;
          seq_.on_script_timer();
        }
      } else {
        return;
      }
    }
    FAIL() << "a timer never stopped";
  }

  // Expected lines may name the script file as $S.
  Lines expand(Lines lines) const {
    for (auto& l : lines) {
      const auto at = l.find("$S");
      if (at != std::string::npos) l.replace(at, 2, script_file_);
    }
    return lines;
  }

  TempDir dir_;
  std::string script_file_;
  std::string script_dir_;
  Journal journal_;
  FakeClock clock_;
  ScopedClock scoped_clock_{&clock_};
  Recorders rec_{journal_, &clock_};
  FakeHost host_{journal_};
  FakeDriver driver_{journal_, clock_};
  ShutdownSequence seq_{host_, driver_};
  int root_ = Shutting;
};

// ---------------------------------------------------------------------------------------
// Whole sequences, from a Shutting tree to the end of the protective action.

struct RunCase {
  const char* name;
  Plan setup;
  Lines expected;  // after the entry lines common to every case
};
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

const Lines kEntry = {kEnterDecision, "log:Enter shutdown sequence", "push:shut_seq:1"};
const Lines kShutdown = {"push:shut_seq:4", "log:System start Shutdown", "shutdown", "exit_main_loop"};
const Lines kSleep = {"push:shut_seq:4", "log:System start Sleep", "sleep", "pause:2000", "discard_datagrams"};

Lines cat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const Plan base;

const RunCase kRunCases[] = {
    {"ShutdownWithoutCancelStopsListeningAtEntry", base.act(1).cancel(false).wait(2),
     cat({{"stop_comm", kStopAtBegin, "announce_delay:1,2", "push:shut_seq:21", "push:shut_seq:20", "release_script"},
          kShutdown})},
    {"ShutdownWithCancelListensUntilTheDelayEnds", base.act(1).cancel(true).wait(2),
     cat({{"announce_delay:1,2", "push:shut_seq:21", "push:shut_seq:20", "stop_comm", kStopAtEnd, "release_script"},
          kShutdown})},
    {"NoDelayGoesStraightToTheScriptPeriod", base.act(1).cancel(true).wait(0),
     cat({{"stop_comm", kStopAtBegin, "release_script"}, kShutdown})},
    {"SleepNeverStopsListening", base.act(2).cancel(false).wait(1),
     cat({{"announce_delay:2,1", "push:shut_seq:20", "release_script"}, kSleep})},
    {"FailedSleepFallsBackToPowerOff", base.act(2).wait(1).sleep_fails(),
     cat({{"announce_delay:2,1", "push:shut_seq:20", "release_script"},
          kSleep,
          {"log:Sleep fail, system is about to shutdown", "shutdown", "exit_main_loop"}})},
    {"FailedPowerOffIsReportedAndTheAgentStillStops", base.act(1).wait(0).shutdown_fails(),
     cat({{"stop_comm", kStopAtBegin, "release_script"}, kShutdown, {"log:Execute protect action failed"}})},
    {"ScriptOutlivingItsPeriodIsCutOffAfterItsTicks", base.act(1).script_of(ScriptKind::File, 3),
     cat({{"stop_comm", kStopAtBegin, "launch:$S", "log:Execute script: $S", "announce_script:1,3", "push:shut_seq:33",
           "push:shut_seq:32", "push:shut_seq:31"},
          kShutdown,
          {"log:Execute script period forcely ended"}})},
    {"ScriptEndingEarlyEndsThePeriodAtOnce", base.act(1).script_of(ScriptKind::File, 60, 1),
     cat({{"stop_comm", kStopAtBegin, "launch:$S", "log:Execute script: $S", "announce_script:1,60",
           "push:shut_seq:360"},
          kShutdown})},
    {"ScriptEnabledWithoutTimeIsNotRun", base.act(1).script_of(ScriptKind::File, 0),
     cat({{"stop_comm", kStopAtBegin, "release_script"}, kShutdown})},
    {"EmptyScriptIsRefusedSilently", base.act(1).script_of(ScriptKind::Empty, 60),
     cat({{"stop_comm", kStopAtBegin}, kShutdown})},
    {"ScriptThatIsADirectoryIsRefusedSilently", base.act(1).script_of(ScriptKind::Directory, 60),
     cat({{"stop_comm", kStopAtBegin}, kShutdown})},
    {"ScriptWithAnArgumentIsRefusedSilently", base.act(1).script_of(ScriptKind::WithArgument, 60),
     cat({{"stop_comm", kStopAtBegin}, kShutdown})},
    {"ScriptThatCannotStartEndsThePeriodAtOnce", base.act(1).script_of(ScriptKind::NotStarted, 60),
     cat({{"stop_comm", kStopAtBegin, "launch:$S", "log:Execute script: $S", "announce_script:1,60"}, kShutdown})},
    {"ScriptEndingWhileBeingStartedEndsThePeriodAtOnce", base.act(1).script_of(ScriptKind::EndsWhileStarting, 60),
     cat({{"stop_comm", kStopAtBegin, "launch:$S", "log:Execute script: $S", "announce_script:1,60"}, kShutdown})},
    {"SleepWithCancelDelayAndScript", base.act(2).cancel(true).wait(2).script_of(ScriptKind::File, 2),
     cat({{"announce_delay:2,2", "push:shut_seq:21", "push:shut_seq:20", "launch:$S", "log:Execute script: $S",
           "announce_script:2,2", "push:shut_seq:32", "push:shut_seq:31"},
          kSleep,
          {"log:Execute script period forcely ended"}})},
};

class SequenceRun : public SequenceTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(SequenceRun, StepsInOrder) {
  const RunCase& c = GetParam();
  apply(c.setup);
  check();
  run_out(c.setup.ends_after);
  EXPECT_EQ(journal_.lines, expand(cat({kEntry, c.expected})));
  EXPECT_FALSE(driver_.delay_on);
  EXPECT_FALSE(driver_.script_on);
  EXPECT_FALSE(seq_.delay_running());
  // Shutdown ends the agent in the sequence; only a working Sleep brings it back to watching.
  EXPECT_EQ(seq_.in_sequence(), !(c.setup.action == 2 && c.setup.sleep_ok));

  // A script that ends after its period changes nothing.
  const std::size_t before = journal_.lines.size();
  seq_.on_script_terminated();
  EXPECT_EQ(journal_.lines.size(), before);
}

INSTANTIATE_TEST_SUITE_P(Sequence, SequenceRun, ::testing::ValuesIn(kRunCases),
                         [](const ::testing::TestParamInfo<RunCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------------------
// The decision in each state.

enum class State { Watching, Delay, ScriptPeriod };

struct DecisionCase {
  const char* name;
  State state;
  int action;
  bool cancel_if;
  int root;
  Lines expected;
};
void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

const Lines kEnters = {kEnterDecision, "log:Enter shutdown sequence", "push:shut_seq:1", "announce_delay:1,30"};
const Lines kEntersSleep = {kEnterDecision, "log:Enter shutdown sequence", "push:shut_seq:1", "announce_delay:2,30"};
const Lines kRestores = {kRestoreDecision, "log:Restore from shutdown sequence", "push:shut_seq:0"};

const DecisionCase kDecisionCases[] = {
    {"ReportOnlyNeverEnters", State::Watching, 0, true, Shutting, {}},
    {"UnknownActionNeverEnters", State::Watching, 3, true, Shutting, {}},
    {"NegativeActionNeverEnters", State::Watching, -1, true, Shutting, {}},
    {"NormalTreeDoesNotEnter", State::Watching, 1, true, Normal, {}},
    {"WarningTreeDoesNotEnter", State::Watching, 1, true, Warning, {}},
    {"UnknownTreeDoesNotEnter", State::Watching, 1, true, Unknown, {}},
    {"ShuttingTreeEntersForShutdown", State::Watching, 1, true, Shutting, kEnters},
    {"ShuttingTreeEntersForSleep", State::Watching, 2, true, Shutting, kEntersSleep},
    {"RestorationDuringDelayCancels", State::Delay, 1, true, Normal, kRestores},
    {"WarningDuringDelayCancels", State::Delay, 1, true, Warning, kRestores},
    {"SilentTreeDuringDelayCancels", State::Delay, 1, true, Unknown, kRestores},
    {"StillShuttingDuringDelayGoesOn", State::Delay, 1, true, Shutting, {}},
    {"RestorationWithoutCancelIfGoesOn", State::Delay, 1, false, Normal, {}},
    {"RestorationDuringScriptPeriodGoesOn", State::ScriptPeriod, 1, true, Normal, {}},
};

class Decision : public SequenceTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(Decision, TakesTheRightTurn) {
  const DecisionCase& c = GetParam();
  Plan s = base.act(c.action).cancel(c.cancel_if).wait(30);
  if (c.state == State::ScriptPeriod) s = s.wait(0).script_of(ScriptKind::File, 60);
  apply(s);
  if (c.state != State::Watching) {
    check();
    ASSERT_TRUE(seq_.in_sequence());
    ASSERT_EQ(seq_.delay_running(), c.state == State::Delay);
    ASSERT_EQ(driver_.script_on, c.state == State::ScriptPeriod);
  }
  // Communication is not the point here; filter it out of the story.
  journal_.lines.clear();
  root_ = c.root;
  check();
  Lines seen;
  for (const auto& l : journal_.lines)
    if (l != "stop_comm" && l != kStopAtBegin) seen.push_back(l);
  EXPECT_EQ(seen, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Sequence, Decision, ::testing::ValuesIn(kDecisionCases),
                         [](const ::testing::TestParamInfo<DecisionCase>& i) { return std::string(i.param.name); });

TEST_F(SequenceTest, RestoreStopsTheCountdownAndWatchesAgain) {
  apply(base.act(1).cancel(true).wait(30));
  check();
  clock_.advance(1);
  seq_.on_delay_timer();
  root_ = Normal;
  check();
  EXPECT_FALSE(seq_.in_sequence());
  EXPECT_FALSE(seq_.delay_running());
  EXPECT_FALSE(driver_.delay_on);
  EXPECT_EQ(journal_.count("stop_comm"), 0u);
  EXPECT_EQ(journal_.count("start_comm"), 0u);  // communication was never off

  // A stray tick after the cancel counts nothing down.
  const std::size_t before = journal_.lines.size();
  seq_.on_delay_timer();
  EXPECT_EQ(journal_.lines.size(), before);

  root_ = Shutting;
  check();
  EXPECT_TRUE(seq_.in_sequence());
  EXPECT_EQ(journal_.count("push:shut_seq:1"), 2u);
}

// CancelIf switched on during a delay that began without it: communication was already
// off, so a cancel must switch it back on or the agent would never hear the cards again.
TEST_F(SequenceTest, RestoreSwitchesCommunicationBackOnWhenTheSequenceStoppedIt) {
  apply(base.act(1).cancel(false).wait(30));
  check();
  host_.cfg.set_cancel_if(true);
  journal_.lines.clear();
  root_ = Normal;
  check();
  EXPECT_EQ(journal_.lines,
            (Lines{kRestoreDecision, "log:Restore from shutdown sequence", "start_comm", "push:shut_seq:0"}));
}

// ---------------------------------------------------------------------------------------
// The delay countdown follows the wall clock, and a clock set back does not stretch it.

struct ClockCase {
  const char* name;
  uint32_t delay;
  std::vector<std::time_t> steps;  // clock change before each tick
  Lines pushes;                    // stage 2 pushes, in order
};
void PrintTo(const ClockCase& c, std::ostream* os) { *os << c.name; }

const ClockCase kClockCases[] = {
    {"OneSecondTicks", 3, {1, 1, 1}, {"push:shut_seq:22", "push:shut_seq:21", "push:shut_seq:20"}},
    {"LateTickMayEndBelowZero", 5, {3, 3}, {"push:shut_seq:22", "push:shut_seq:2-1"}},
    {"ClockJumpingForwardEndsTheDelay", 30, {1, 100}, {"push:shut_seq:229", "push:shut_seq:2-71"}},
    {"ClockSetBackStillEndsAfterTheTicks", 3, {1, -3600, 1}, {"push:shut_seq:22", "push:shut_seq:21", "push:shut_seq:20"}},
    {"TickBeforeTheClockMovedCountsOneSecond", 2, {0, 0}, {"push:shut_seq:21", "push:shut_seq:20"}},
};

class DelayClock : public SequenceTest, public ::testing::WithParamInterface<ClockCase> {};

TEST_P(DelayClock, CountsDown) {
  const ClockCase& c = GetParam();
  apply(base.act(2).wait(c.delay));
  check();
  for (std::time_t step : c.steps) {
    ASSERT_TRUE(driver_.delay_on);
    clock_.advance(step);
    seq_.on_delay_timer();
  }
  EXPECT_FALSE(seq_.delay_running());
  EXPECT_FALSE(driver_.delay_on);
  Lines pushes;
  for (const auto& l : journal_.lines)
    if (l.rfind("push:shut_seq:2", 0) == 0) pushes.push_back(l);
  EXPECT_EQ(pushes, c.pushes);
  EXPECT_EQ(journal_.count("push:shut_seq:4"), 1u);  // the sequence went on
}

INSTANTIATE_TEST_SUITE_P(Sequence, DelayClock, ::testing::ValuesIn(kClockCases),
                         [](const ::testing::TestParamInfo<ClockCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------------------
// After a Sleep the decision rests for 15 seconds.

struct QuietCase {
  const char* name;
  std::vector<std::time_t> checks;  // seconds after the Sleep action returned, in order
  bool enters_on_last;
};
void PrintTo(const QuietCase& c, std::ostream* os) { *os << c.name; }

const QuietCase kQuietCases[] = {
    {"RightAfterWaking", {0}, false},
    {"AtFifteenSeconds", {15}, false},
    {"AtSixteenSeconds", {16}, true},
    {"QuietThenEnters", {5, 15, 16}, true},
    {"ClockSetBackRestartsTheQuietTime", {-3600, -3600 + 15}, false},
    {"ClockSetBackDoesNotBlockForTheWholeJump", {-3600, -3600 + 16}, true},
};

class SleepQuiet : public SequenceTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(SleepQuiet, Decides) {
  const QuietCase& c = GetParam();
  apply(base.act(2).wait(0));
  const std::time_t start = clock_.now();
  check();
  // The host slept 600 s, then the agent paused 2 s before it dropped the queued datagrams.
  ASSERT_FALSE(seq_.in_sequence());
  const std::time_t woke = start + 600 + 2;
  ASSERT_EQ(seq_.last_sleep_time(), woke);
  const long sleep_at = journal_.index_of("sleep");
  EXPECT_LT(sleep_at, journal_.index_of("pause:2000"));
  EXPECT_LT(journal_.index_of("pause:2000"), journal_.index_of("discard_datagrams"));

  for (std::size_t i = 0; i < c.checks.size(); ++i) {
    journal_.lines.clear();
    clock_.set(woke + c.checks[i]);
    check();
    // With no delay and no script an entered sequence runs to its end within the check,
    // so the entry shows in what was pushed, not in the flags.
    const bool last = i + 1 == c.checks.size();
    EXPECT_EQ(journal_.count("push:shut_seq:1"), last && c.enters_on_last ? 1u : 0u) << "check " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Sequence, SleepQuiet, ::testing::ValuesIn(kQuietCases),
                         [](const ::testing::TestParamInfo<QuietCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------------------
// The protective action asked for directly (the control channel's job).

struct ShutCase {
  const char* name;
  int action;
  Lines expected;
};
void PrintTo(const ShutCase& c, std::ostream* os) { *os << c.name; }

const ShutCase kShutCases[] = {
    {"Shutdown", 1, {"log:System start Shutdown", "shutdown", "exit_main_loop"}},
    {"Sleep", 2, {"log:System start Sleep", "sleep", "pause:2000", "discard_datagrams"}},
    {"ReportOnly", 0, {"log:System start Event Warning", "log:Execute protect action failed"}},
    {"ActionPastTheNames", 7, {"log:System start 7", "log:Execute protect action failed"}},
    {"NegativeAction", -2, {"log:System start -2", "log:Execute protect action failed"}},
};

class Shut : public SequenceTest, public ::testing::WithParamInterface<ShutCase> {};

TEST_P(Shut, AnnouncesThenActs) {
  const ShutCase& c = GetParam();
  host_.cfg.set_action(c.action);
  seq_.shut();
  EXPECT_EQ(journal_.lines, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Sequence, Shut, ::testing::ValuesIn(kShutCases),
                         [](const ::testing::TestParamInfo<ShutCase>& i) { return std::string(i.param.name); });

// Action set to report-only after the sequence began: nothing can be done, and the agent
// must not stay deaf and stuck in the sequence.
TEST_F(SequenceTest, ActionWithdrawnMidSequenceReturnsToWatching) {
  apply(base.act(1).cancel(false).wait(2));
  check();
  host_.cfg.set_action(0);
  journal_.lines.clear();
  run_out();
  EXPECT_EQ(journal_.lines, (Lines{"push:shut_seq:21", "push:shut_seq:20", "release_script", "push:shut_seq:4",
                                   "log:System start Event Warning", "start_comm", "log:Execute protect action failed"}));
  EXPECT_FALSE(seq_.in_sequence());

  host_.cfg.set_action(1);
  check();
  EXPECT_TRUE(seq_.in_sequence());
}

// A Sleep asked for while a delay counts down must end that countdown, or its end would
// put the host to sleep a second time right after it woke.
TEST_F(SequenceTest, SleepDuringTheDelayEndsTheCountdown) {
  apply(base.act(1).cancel(false).wait(30));
  check();
  host_.cfg.set_action(2);
  seq_.shut();
  EXPECT_FALSE(seq_.in_sequence());
  EXPECT_FALSE(driver_.delay_on);
  EXPECT_EQ(journal_.count("start_comm"), 1u);
  const std::size_t before = journal_.lines.size();
  seq_.on_delay_timer();
  EXPECT_EQ(journal_.lines.size(), before);
  EXPECT_EQ(journal_.count("sleep"), 1u);
}

// The same during the script period: its last tick must not run the action again.
TEST_F(SequenceTest, SleepDuringTheScriptPeriodEndsTheCountdown) {
  apply(base.act(2).wait(0).script_of(ScriptKind::File, 5));
  check();
  ASSERT_TRUE(driver_.script_on);
  seq_.shut();
  EXPECT_FALSE(driver_.script_on);
  run_out();
  seq_.on_script_terminated();
  EXPECT_EQ(journal_.count("sleep"), 1u);
  EXPECT_EQ(journal_.count("push:shut_seq:4"), 0u);
}

// A Shutdown needs the cards silenced before its script period even when CancelIf was
// switched off while the delay ran.
TEST_F(SequenceTest, ShutdownStopsCommunicationAtTheEndWhateverCancelIfBecame) {
  apply(base.act(1).cancel(true).wait(2));
  check();
  host_.cfg.set_cancel_if(false);
  run_out();
  EXPECT_EQ(journal_.count("stop_comm"), 1u);
  EXPECT_EQ(journal_.count(kStopAtEnd), 1u);
  EXPECT_LT(journal_.index_of("stop_comm"), journal_.index_of("push:shut_seq:4"));
}

TEST_F(SequenceTest, ScriptPeriodCountsTicksNotTheClock) {
  apply(base.act(2).wait(0).script_of(ScriptKind::File, 3));
  check();
  clock_.advance(3600);  // a clock jump does not shorten the script's time
  seq_.on_script_timer();
  EXPECT_TRUE(driver_.script_on);
  EXPECT_EQ(seq_.script_left(), 2);
}

}  // namespace
