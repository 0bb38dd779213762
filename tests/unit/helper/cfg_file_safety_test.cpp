// What happens to the file itself: refused inputs change nothing, saves replace the file
// whole and private, and a refused file can be kept aside.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helper/cfg_fixture.h"

namespace {

using CfgFileSafety = CfgFileTest;

const char kValid[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NOX><RemoteList><Remote name=\"a\"/></RemoteList>"
    "<Alias>loaded</Alias><ShutDelay>30</ShutDelay><AcFail>0</AcFail></NOX>\n";

// A refused load must leave the settings, the flags and the tree exactly as they were.
void expect_untouched(const NOXConfig& cfg, const Cluster& root, const std::string& what) {
  EXPECT_EQ(cfg.alias(), "testhost") << what;
  EXPECT_EQ(cfg.shut_delay(), 0u) << what;
  EXPECT_TRUE(root.children.empty()) << what;
  EXPECT_EQ(accepted_events->bits(), kDefaultAcceptedEvents) << what;
}

const char kBinary[] = "\x7f" "ELF\x02\x01\x01\0\0\0\xff\xfe<NOX>";
const char kWithNul[] = "<NOX><Alias>lo\0aded</Alias></NOX>";

TEST_F(CfgFileSafety, RefusedFilesChangeNothing) {
  const std::string valid = kValid;
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"white space only", "  \n\t\n"},
      {"truncated", valid.substr(0, valid.size() / 2)},
      {"cut before the end tag", valid.substr(0, valid.rfind("</NOX>"))},
      {"binary", std::string(kBinary, sizeof kBinary - 1)},
      {"other document element", "<Config><Alias>loaded</Alias></Config>"},
      {"NOX in another case", "<nox><Alias>loaded</Alias></nox>"},
      {"two document elements", "<NOX><Alias>loaded</Alias></NOX><NOX/>"},
      {"undefined entity", "<NOX><Alias>&bogus;</Alias></NOX>"},
      {"NUL inside", std::string(kWithNul, sizeof kWithNul - 1)},
  };
  for (const auto& c : cases) {
    write(conf(), c.bytes);
    fresh();
    EXPECT_FALSE(load()) << c.what;
    expect_untouched(*cfg_, *root_, c.what);
  }
}

TEST_F(CfgFileSafety, MissingOrNonRegularFileIsRefused) {
  EXPECT_FALSE(load());
  expect_untouched(*cfg_, *root_, "missing");

  ASSERT_EQ(mkdir(conf().c_str(), 0700), 0);
  EXPECT_FALSE(load());
  EXPECT_FALSE(NOXCfgHelper::preserve_rejected(dir()));
  ASSERT_EQ(rmdir(conf().c_str()), 0);

  // A FIFO would block a plain open until a writer came along.
  ASSERT_EQ(mkfifo(conf().c_str(), 0600), 0);
  EXPECT_FALSE(load());
  EXPECT_FALSE(NOXCfgHelper::preserve_rejected(dir()));
  expect_untouched(*cfg_, *root_, "fifo");
}

TEST_F(CfgFileSafety, SavedFileIsPrivateWhateverTheUmask) {
  const mode_t old_mask = umask(0);  // as the agent runs
  write(conf(), "old");
  chmod(conf().c_str(), 0666);
  const bool saved = save();
  umask(old_mask);
  ASSERT_TRUE(saved);
  EXPECT_EQ(mode_of(conf()), 0600u);
  EXPECT_EQ(dir_entries(), (std::vector<std::string>{"Noxguard.conf"}));  // no temporary left
}

TEST_F(CfgFileSafety, SaveIntoMissingDirectoryFails) {
  EXPECT_FALSE(NOXCfgHelper::save(cfg_.get(), root_.get(), wxString(dir_ + "/absent/")));
  EXPECT_TRUE(dir_entries().empty());
}

// The disk fills up in the middle of the write: the old file must stay whole.
TEST_F(CfgFileSafety, FailedWriteLeavesThePreviousFileWhole) {
  write(conf(), kValid);
  for (int i = 0; i < 50; ++i) root_->addRemote("ups-" + std::to_string(i), "", "", "Master");

  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 256;  // smaller than the document
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = save();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(read(conf()), kValid);
  EXPECT_EQ(dir_entries(), (std::vector<std::string>{"Noxguard.conf"}));
}

// No temporary file can be made beside the old one. Root writes anywhere, so the save runs in
// a child that has given up root.
TEST_F(CfgFileSafety, UnwritableDirectoryLeavesThePreviousFileWhole) {
  write(conf(), kValid);
  ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    _exit(save() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  chmod(dir_.c_str(), 0700);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save claimed success, 3: could not drop root";
  EXPECT_EQ(read(conf()), kValid);
  EXPECT_EQ(dir_entries(), (std::vector<std::string>{"Noxguard.conf"}));
}

TEST_F(CfgFileSafety, PreserveRejectedCopiesByteForByte) {
  EXPECT_FALSE(NOXCfgHelper::preserve_rejected(dir()));  // nothing to keep
  EXPECT_TRUE(dir_entries().empty());

  std::string junk;
  for (int i = 0; i < 200000; ++i) junk += static_cast<char>(i * 7 % 256);  // NULs included
  write(conf(), junk);
  write(bad(), "an older reject");
  const mode_t old_mask = umask(0);
  const bool kept = NOXCfgHelper::preserve_rejected(dir());
  umask(old_mask);
  ASSERT_TRUE(kept);
  EXPECT_EQ(read(bad()), junk);
  EXPECT_EQ(read(conf()), junk);  // the original stays for the caller to replace
  EXPECT_EQ(mode_of(bad()), 0600u);
  EXPECT_EQ(dir_entries(), (std::vector<std::string>{"Noxguard.conf", "Noxguard.conf.bad"}));
}

// The sequence the application runs when a file is refused: keep it, then write defaults.
TEST_F(CfgFileSafety, RejectedFileSurvivesTheDefaultsWrittenOverIt) {
  write(conf(), "<Config/>");
  ASSERT_FALSE(load());
  ASSERT_TRUE(NOXCfgHelper::preserve_rejected(dir()));
  ASSERT_TRUE(save());
  EXPECT_EQ(read(bad()), "<Config/>");
  fresh();
  EXPECT_TRUE(load());
}

}  // namespace
