// The real shutter runs real host commands, so it is exercised only inside the test
// sandbox, against recording fakes put first on PATH by the test itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "output/shutter.h"
#include "sequence_fakes.h"

namespace {

bool in_sandbox() {
  const char* s = std::getenv("NOX_SANDBOX");
  const char* log = std::getenv("NOX_FAKE_LOG");
  return s && std::string(s) == "1" && log && *log;
}

// Puts a folder of fakes first on PATH for the lifetime of the object.
class FakeCommands {
 public:
  // status < 0: the folder holds no such commands (they are missing altogether).
  explicit FakeCommands(int status) {
    old_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    log_ = dir_.path() + "/calls.log";
    if (status >= 0) {
      for (const char* name : {"init", "pm-hibernate"})
        dir_.write(name, "#!/bin/sh\necho \"$(basename \"$0\") $*\" >> '" + log_ + "'\nexit " +
                             std::to_string(status) + "\n");
      setenv("PATH", (dir_.path() + ":" + old_path_).c_str(), 1);
    } else {
      setenv("PATH", dir_.path().c_str(), 1);  // /bin/sh is found by its full path
    }
  }
  ~FakeCommands() { setenv("PATH", old_path_.c_str(), 1); }

  std::string calls() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  seqtest::TempDir dir_;
  std::string old_path_;
  std::string log_;
};

struct CommandCase {
  int status;
  bool ok;
};

const CommandCase kCommandCases[] = {{0, true}, {1, false}, {-1, false}};

TEST(Shutter, PowerOffRunsInitZeroAndReportsItsStatus) {
  if (!in_sandbox()) GTEST_SKIP() << "runs host commands: only inside tests/sandbox";
  for (const auto& c : kCommandCases) {
    FakeCommands fakes(c.status);
    EXPECT_EQ(make_shutter()->shutdown(), c.ok) << "status " << c.status;
    if (c.status >= 0) {
      EXPECT_EQ(fakes.calls(), "init 0\n");
    }
  }
}

TEST(Shutter, HibernateRunsPmHibernateAndReportsItsStatus) {
  if (!in_sandbox()) GTEST_SKIP() << "runs host commands: only inside tests/sandbox";
  for (const auto& c : kCommandCases) {
    FakeCommands fakes(c.status);
    EXPECT_EQ(make_shutter()->sleep(), c.ok) << "status " << c.status;
    if (c.status >= 0) {
      EXPECT_EQ(fakes.calls(), "pm-hibernate \n");
    }
  }
}

TEST(Shutter, FactoryCanBeSwappedAndRestored) {
  struct Stub : NOXShutterUnix {};
  auto stub = std::make_shared<Stub>();
  set_shutter_factory([stub] { return stub; });
  EXPECT_EQ(make_shutter(), stub);
  set_shutter_factory(nullptr);
  const auto real = make_shutter();
  ASSERT_NE(real, nullptr);
  EXPECT_NE(real, stub);
}

}  // namespace
