#include "logger/log_memo.h"
#include "logger/log_ops.h"
#include "log_capture.h"
#include "model/events.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// debug_mode is process-wide; every test leaves it off.
class LogOps : public ::testing::Test {
 protected:
  void TearDown() override { debug_mode = false; }
  ScopedCapture capture_;
};

TEST_F(LogOps, EachOperationWritesItsLineAtMessageLevel) {
  struct Case {
    std::function<void()> call;
    Lines want;
  } cases[] = {
      {[] { log_event_warning("ups-a", AcFail); }, {"Warning message from ups-a, reason: Ac Fail"}},
      {[] { log_event_warning("ups-a", RemainTime); },
       {"Warning message from ups-a, reason: Battery Backup Time Below Limit"}},
      // The load segments have no warning line of their own.
      {[] { log_event_warning("ups-a", LS1); }, {}},
      {[] { log_event_warning("ups-a", LS2); }, {}},
      {[] { log_event_restore("ups-a", WSS); }, {"ups-a: Weekly Schedule Shutdown cancel"}},
      {[] { log_event_restore("ups-a", LS1); }, {"ups-a: Load segment 1 normal"}},
      {[] { log_connect("ups-a"); }, {"Connect to ups-a"}},
      {[] { log_no_connect("ups-a"); }, {"Can't connect to ups-a"}},
      {[] { log_unreasonable_time("ups-a", 180, 120); },
       {"ups-a: The UPS shutdown delay (120)s isn't greater than the setting time (180)s"}},
      {[] { log_unaccept_shutting_event("ups-a", BatteryLow); },
       {"Unaccepted shutting message from ups-a, reason: Battery Low"}},
      {[] { log_event_shutting("ups-a", LS2); }, {"Shutting message from ups-a, reason: Load segment 2 shutdown"}},
      // A code outside the catalogue must not read past it.
      {[] { log_event_warning("ups-a", 14); }, {}},
      {[] { log_event_restore("ups-a", -1); }, {}},
      {[] { log_event_shutting("ups-a", 99); }, {}},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    cases[i].call();
    for (const auto& r : capture_.log().records) EXPECT_EQ(wxLOG_Message, r.level) << "case " << i;
    EXPECT_EQ(cases[i].want, capture_.take()) << "case " << i;
  }
}

TEST_F(LogOps, NamesAreNeverTakenAsFormats) {
  const std::string names[] = {"ups%s", "ups%n%n%n", "%d%x%p%", "100%"};
  for (const auto& name : names) {
    log_connect(name);
    log_event_warning(name, Overload);
    log_unreasonable_time(name, 90, 30);
    EXPECT_EQ((Lines{"Connect to " + name, "Warning message from " + name + ", reason: UPS Overload",
                     name + ": The UPS shutdown delay (30)s isn't greater than the setting time (90)s"}),
              capture_.take());
  }
}

TEST_F(LogOps, DebugLinesOnlyInDebugMode) {
  log_debug("trace %s one");
  EXPECT_TRUE(capture_.take().empty());
  debug_mode = true;
  log_debug("trace %s two");
  EXPECT_EQ(Lines{"trace %s two"}, capture_.take());
}

TEST_F(LogOps, SuppressedThreadWritesNothing) {
  {
    wxLogNull quiet;
    log_connect("ups-a");
    log_event_warning("ups-a", AcFail);
  }
  EXPECT_TRUE(capture_.take().empty());
  log_connect("ups-a");
  EXPECT_EQ(Lines{"Connect to ups-a"}, capture_.take());
}

// The agent never sets a locale, so it converts under "C"; the test pins that down.
class CLocale {
 public:
  CLocale() : saved_(std::setlocale(LC_CTYPE, nullptr)) { std::setlocale(LC_CTYPE, "C"); }
  ~CLocale() { std::setlocale(LC_CTYPE, saved_.c_str()); }

 private:
  std::string saved_;
};

TEST(TextConversion, RoundTripsAndEmptiesWhatHasNoConversion) {
  CLocale c;
  EXPECT_EQ(wxString("ups-a %s"), to_wide("ups-a %s"));
  EXPECT_EQ("ups-a %s", to_narrow(wxString("ups-a %s")));
  EXPECT_EQ(wxString(), to_wide(""));
  EXPECT_EQ("", to_narrow(wxString()));
  // Not representable in the C locale: the whole text becomes empty.
  EXPECT_EQ("", to_narrow(wxString(L"caf\u00e9")));
  EXPECT_EQ(wxString(), to_wide("caf\xe9"));
}

// ---- LogMemo ----

class LogMemoRules : public LogOps {
 protected:
  void SetUp() override { LogMemo::instance().clear(); }
  void TearDown() override {
    LogMemo::instance().clear();
    LogOps::TearDown();
  }
};

enum class Op { Warning, Restore, Unaccepted, Shutting, NoConnect, Connect };

struct Step {
  Op op;
  const char* name;
  int event;
  Lines want;
};

void run(const Step& s) {
  LogMemo& memo = LogMemo::instance();
  switch (s.op) {
    case Op::Warning: memo.note_warning(s.name, s.event); break;
    case Op::Restore: memo.note_restore(s.name, s.event); break;
    case Op::Unaccepted: memo.note_unaccepted_shutting(s.name, s.event); break;
    case Op::Shutting: memo.note_shutting(s.name, s.event); break;
    case Op::NoConnect: memo.note_no_connect(s.name); break;
    case Op::Connect: memo.note_connect(s.name); break;
  }
}

TEST_F(LogMemoRules, EachConditionIsLoggedOnce) {
  const std::string warn_a0 = "Warning message from a, reason: Ac Fail";
  const Step steps[] = {
      // warning once, restoration once, then the warning may come again
      {Op::Warning, "a", AcFail, {warn_a0}},
      {Op::Warning, "a", AcFail, {}},
      {Op::Restore, "a", AcFail, {"a: Utility power has restored"}},
      {Op::Restore, "a", AcFail, {}},
      {Op::Warning, "a", AcFail, {warn_a0}},
      // names compare byte for byte; the same event of another remote is its own condition
      {Op::Warning, "A", AcFail, {"Warning message from A, reason: Ac Fail"}},
      {Op::Warning, "b", AcFail, {"Warning message from b, reason: Ac Fail"}},
      // a restoration without a warning writes nothing
      {Op::Restore, "a", Overload, {}},
      // load segments: no warning line, but the restoration is still written
      {Op::Warning, "a", LS1, {}},
      {Op::Restore, "a", LS1, {"a: Load segment 1 normal"}},
      // shutting brings its warning first, each once
      {Op::Shutting, "a", BatteryLow,
       {"Warning message from a, reason: Battery Low", "Shutting message from a, reason: Battery Low"}},
      {Op::Shutting, "a", BatteryLow, {}},
      {Op::Unaccepted, "a", BatteryLow, {}},  // shares the shutting list
      // a restoration clears the shutting memory too
      {Op::Restore, "a", BatteryLow, {"a: The UPS has return from a low battery condition"}},
      {Op::Shutting, "a", BatteryLow,
       {"Warning message from a, reason: Battery Low", "Shutting message from a, reason: Battery Low"}},
      {Op::Unaccepted, "a", Overload,
       {"Warning message from a, reason: UPS Overload", "Unaccepted shutting message from a, reason: UPS Overload"}},
      {Op::Unaccepted, "a", Overload, {}},
      {Op::Shutting, "a", Overload, {}},
      // an already warned event that turns shutting only adds the shutting line
      {Op::Shutting, "b", AcFail, {"Shutting message from b, reason: Ac Fail"}},
      // unreachable once; it forgets the remote's events but not another remote's
      {Op::NoConnect, "a", 0, {"Can't connect to a"}},
      {Op::NoConnect, "a", 0, {}},
      {Op::Warning, "a", AcFail, {warn_a0}},
      {Op::Warning, "b", AcFail, {}},
      {Op::Shutting, "a", BatteryLow,
       {"Warning message from a, reason: Battery Low", "Shutting message from a, reason: Battery Low"}},
      // a connection is written every time, ends unreachability and forgets the events
      {Op::Connect, "a", 0, {"Connect to a"}},
      {Op::Connect, "a", 0, {"Connect to a"}},
      {Op::Restore, "a", AcFail, {}},
      {Op::Shutting, "a", BatteryLow,
       {"Warning message from a, reason: Battery Low", "Shutting message from a, reason: Battery Low"}},
      {Op::NoConnect, "a", 0, {"Can't connect to a"}},
      {Op::Restore, "b", AcFail, {"b: Utility power has restored"}},
  };
  for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
    run(steps[i]);
    EXPECT_EQ(steps[i].want, capture_.take()) << "step " << i;
  }
}

TEST_F(LogMemoRules, RemembersWhatASuppressedThreadWouldHaveWritten) {
  {
    wxLogNull quiet;
    LogMemo::instance().note_shutting("a", AcFail);
    LogMemo::instance().note_no_connect("b");
  }
  EXPECT_TRUE(capture_.take().empty());
  EXPECT_TRUE(LogMemo::instance().is_warned("a", AcFail));
  EXPECT_TRUE(LogMemo::instance().is_shutting("a", AcFail));
  EXPECT_TRUE(LogMemo::instance().is_unreachable("b"));
  LogMemo::instance().note_shutting("a", AcFail);
  LogMemo::instance().note_no_connect("b");
  EXPECT_TRUE(capture_.take().empty());
}

TEST_F(LogMemoRules, NamesWithPercentSignsAreKeptAndLoggedVerbatim) {
  LogMemo::instance().note_connect("ups%s%n");
  LogMemo::instance().note_warning("ups%s%n", AcFail);
  EXPECT_EQ((Lines{"Connect to ups%s%n", "Warning message from ups%s%n, reason: Ac Fail"}), capture_.take());
}

}  // namespace
