// broadcast() runs real shell commands. These tests point PATH, in this process, at a
// folder that holds only a recording `wall` and a `cat` link, so no host wall is reached.
#include "output/msg_output.h"

#include "model/events.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct WallCall {
  std::vector<std::string> args;
  bool had_file = false;
  std::string file;  // contents of the file named by the only argument, when there was one
};

class Broadcast : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/noxwall_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    root_ = tmpl;
    fakes_ = root_ / "fakes";
    rec_ = root_ / "rec";
    work_ = root_ / "work";
    fs::create_directories(fakes_);
    fs::create_directories(rec_);
    fs::create_directories(work_);
    // Only bash builtins and the linked cat: nothing else is on PATH.
    std::ofstream(fakes_ / "wall") << "#!/bin/bash\n"
                                      "rec='" << rec_.string() << "'\n"
                                      "n=1\n"
                                      "while [ -e \"$rec/args.$n\" ]; do n=$((n+1)); done\n"
                                      "printf '%s\\0' \"$@\" > \"$rec/args.$n\"\n"
                                      "if [ $# -eq 1 ] && [ -f \"$1\" ]; then cat -- \"$1\" > \"$rec/file.$n\"; fi\n"
                                      "read -r status < \"$rec/status\"\n"
                                      "exit \"$status\"\n";
    fs::permissions(fakes_ / "wall", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    fs::create_symlink("/bin/cat", fakes_ / "cat");
    set_wall_status(0);

    const char* path = std::getenv("PATH");
    saved_path_ = path ? path : "";
    ASSERT_EQ(0, setenv("PATH", fakes_.c_str(), 1));
    saved_cwd_ = fs::current_path();
    fs::current_path(work_);
  }

  void TearDown() override {
    fs::current_path(saved_cwd_);
    setenv("PATH", saved_path_.c_str(), 1);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void set_wall_status(int status) { std::ofstream(rec_ / "status") << status << "\n"; }

  // Broadcast through the real wall variant; the environment must still be the fake one.
  void send(std::string text) {
    ASSERT_EQ(fakes_.string(), std::string(std::getenv("PATH")));
    NOXMsgOutputWall wall;
    wall.broadcast(text);
    EXPECT_TRUE(text.empty());
  }

  std::vector<WallCall> calls() const {
    std::vector<WallCall> out;
    for (int n = 1; fs::exists(rec_ / ("args." + std::to_string(n))); ++n) {
      WallCall call;
      std::string raw = read_file(rec_ / ("args." + std::to_string(n)));
      size_t start = 0;
      for (size_t end; (end = raw.find('\0', start)) != std::string::npos; start = end + 1)
        call.args.push_back(raw.substr(start, end - start));
      fs::path file = rec_ / ("file." + std::to_string(n));
      call.had_file = fs::exists(file);
      if (call.had_file) call.file = read_file(file);
      out.push_back(call);
    }
    return out;
  }

  // Files broadcast left in the working directory.
  std::vector<std::string> leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(work_)) out.push_back(e.path().filename().string());
    return out;
  }

  fs::path root_, fakes_, rec_, work_, saved_cwd_;
  std::string saved_path_;
};

const std::regex kTempName("noxwallmsg[A-Za-z0-9]{6}");

TEST_F(Broadcast, HandsTheFileToWallAndRemovesIt) {
  const std::string text = compose_announce_delay(1, 120);
  send(text);
  auto got = calls();
  ASSERT_EQ(1u, got.size());  // the first form worked: no second message
  ASSERT_EQ(1u, got[0].args.size());
  EXPECT_TRUE(std::regex_match(got[0].args[0], kTempName)) << got[0].args[0];
  ASSERT_TRUE(got[0].had_file);
  EXPECT_EQ(text, got[0].file);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Broadcast, TheArgumentFormRunsOnlyWhenTheFileFormFails) {
  set_wall_status(1);
  const std::string text = compose_announce_script(2, 60);
  send(text);
  auto got = calls();
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ(text, got[0].file);
  // The shell drops the trailing newline of a substitution; the rest arrives as one argument.
  EXPECT_EQ(std::vector<std::string>{text.substr(0, text.size() - 1)}, got[1].args);
  EXPECT_FALSE(got[1].had_file);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Broadcast, HostileNamesArriveVerbatimAndRunNothing) {
  set_wall_status(1);  // both forms
  const std::string names[] = {
      "it's",         "say \"hi\"",          "`echo x > pwned1`", "$(echo y > pwned2)", "; echo z > pwned3 #",
      "a  b\tc",      "*",                   "$HOME",             "\\n%s%n",            "a' ; echo q > pwned4 ; '",
  };
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    fs::remove_all(rec_);
    fs::create_directories(rec_);
    set_wall_status(1);
    const std::string text = compose_event_warning(name, AcFail, "2013-05-14 09:41:07");
    send(text);
    auto got = calls();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(text, got[0].file);
    EXPECT_EQ(std::vector<std::string>{text.substr(0, text.size() - 1)}, got[1].args);
    EXPECT_TRUE(leftovers().empty()) << leftovers().front();  // also: no pwned* file
  }
}

TEST_F(Broadcast, AMissingWallIsSilent) {
  fs::remove(fakes_ / "wall");
  send(compose_announce_delay(1, 10));
  EXPECT_TRUE(calls().empty());
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Broadcast, NoFileNoBroadcast) {
  // A working directory that no longer exists: mkstemp fails even for root.
  fs::path gone = root_ / "gone";
  fs::create_directories(gone);
  fs::current_path(gone);
  fs::remove(gone);
  send(compose_announce_delay(1, 10));
  EXPECT_TRUE(calls().empty());
}

TEST_F(Broadcast, EventOperationsReachWall) {
  NOXMsgOutputWall wall;
  wall.event_warning("ups-a", AcFail);
  auto got = calls();
  ASSERT_EQ(1u, got.size());
  const std::regex shape(
      "Noxguard Message:\nTopic: Event Warning\nWhen: \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\n"
      "Who: ups-a\nWhat: Utility power is not available\n");
  EXPECT_TRUE(std::regex_match(got[0].file, shape)) << got[0].file;
  EXPECT_TRUE(leftovers().empty());
}

}  // namespace
