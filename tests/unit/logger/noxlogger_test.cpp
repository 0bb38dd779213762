#include "logger/noxlogger.h"

#include "logger/log_ops.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

const auto* const kWxEnv = ::testing::AddGlobalTestEnvironment(new WxEnvironment);

namespace fs = std::filesystem;

std::vector<std::string> read_lines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void write_numbered(const fs::path& file, int count) {
  std::ofstream out(file);
  for (int i = 1; i <= count; ++i) out << "old " << i << "\n";
}

std::string local_stamp() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "[%Y/%m/%d %H:%M:%S]", &tm);
  return buf;
}

// Text after the "[stamp]: " prefix.
std::string body(const std::string& line) {
  auto pos = line.find("]: ");
  return pos == std::string::npos ? line : line.substr(pos + 3);
}

class NOXLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/noxlogger_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
    file_ = dir_ / "Noxguard.txt";
  }
  void TearDown() override {
    logger_.reset();
    debug_mode = false;
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Installs a logger on `path` as the active target, as the application does.
  NOXLogger& start(const fs::path& path) {
    logger_ = std::make_unique<NOXLogger>(wxLog::GetActiveTarget(), path.string());
    wxLog::SetActiveTarget(logger_.get());
    return *logger_;
  }
  NOXLogger& start() { return start(file_); }
  void stop() { logger_.reset(); }

  static void log_lines(int count) {
    for (int i = 1; i <= count; ++i) wxLogMessage("new %d", i);
  }

  std::vector<fs::path> other_files() const {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path() != file_) out.push_back(e.path());
    return out;
  }

  fs::path dir_;
  fs::path file_;
  std::unique_ptr<NOXLogger> logger_;
};

TEST_F(NOXLoggerTest, WritesStampedLinesWithLevelWords) {
  start();
  const std::string before = local_stamp();
  wxLogMessage("Noxguard start successful");
  wxLogWarning("careful");
  wxLogError("Create communication server failed");
  const std::string after = local_stamp();
  stop();

  auto lines = read_lines(file_);
  ASSERT_EQ(3u, lines.size());
  const std::regex shape(R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\]: .*)");
  for (const auto& line : lines) {
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
    const std::string stamp = line.substr(0, before.size());
    EXPECT_TRUE(stamp >= before && stamp <= after) << stamp << " not in " << before << ".." << after;
  }
  EXPECT_EQ("Noxguard start successful", body(lines[0]));
  EXPECT_EQ("Warning: careful", body(lines[1]));
  EXPECT_EQ("Error: Create communication server failed", body(lines[2]));
}

TEST_F(NOXLoggerTest, CreatesAnAbsentFileWithMode0644WhateverTheUmask) {
  const mode_t saved = umask(0);  // as the daemon runs
  start();
  umask(saved);
  EXPECT_EQ(0u, logger_->line_count());
  log_connect("ups-a");
  EXPECT_EQ(1u, logger_->line_count());
  stop();
  struct stat st {};
  ASSERT_EQ(0, stat(file_.c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 07777);
  EXPECT_EQ(1u, read_lines(file_).size());
}

TEST_F(NOXLoggerTest, AppendsToAndCountsAnExistingFile) {
  write_numbered(file_, 950);
  start();
  EXPECT_EQ(950u, logger_->line_count());
  wxLogMessage("next");
  stop();
  auto lines = read_lines(file_);
  ASSERT_EQ(951u, lines.size());
  EXPECT_EQ("old 1", lines.front());
  EXPECT_EQ("next", body(lines.back()));
}

TEST_F(NOXLoggerTest, TrimsTheOldestHundredLinesPastAThousand) {
  struct Case {
    int existing;
    int logged;
    size_t lines;       // in the file afterwards
    std::string first;  // the oldest line kept
  } cases[] = {
      {0, 1000, 1000, "new 1"},    // exactly 1000: no trim yet
      {0, 1001, 901, "new 101"},   // the 1001st line trims
      {950, 51, 901, "old 101"},   // the trimmed lines are the oldest ones
      {0, 1006, 906, "new 101"},   // lines after a trim land in the trimmed file
      {1200, 1, 1101, "old 101"},  // a long file loses 100 lines at each new line...
      {1200, 3, 903, "old 301"},   // ...until it is back at 1000
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.existing) + " + " + std::to_string(c.logged));
    fs::remove(file_);
    if (c.existing > 0) write_numbered(file_, c.existing);
    start();
    log_lines(c.logged);
    EXPECT_EQ(c.lines, logger_->line_count());
    stop();
    auto lines = read_lines(file_);
    ASSERT_EQ(c.lines, lines.size());
    EXPECT_EQ(c.first, lines.front().substr(0, 4) == "old " ? lines.front() : body(lines.front()));
    EXPECT_EQ("new " + std::to_string(c.logged), body(lines.back()));
    struct stat st {};
    ASSERT_EQ(0, stat(file_.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 07777);
    EXPECT_TRUE(other_files().empty()) << "left behind: " << other_files().front();
  }
}

TEST_F(NOXLoggerTest, DebugModeNeverTrimsNorCounts) {
  write_numbered(file_, 995);
  debug_mode = true;
  start();
  log_lines(10);
  EXPECT_EQ(995u, logger_->line_count());
  stop();
  auto lines = read_lines(file_);
  ASSERT_EQ(1005u, lines.size());
  EXPECT_EQ("old 1", lines.front());
}

TEST_F(NOXLoggerTest, AFileThatCannotBeOpenedLosesLinesSilently) {
  const fs::path missing = dir_ / "no-such-dir" / "Noxguard.txt";
  NOXLogger& logger = start(missing);
  EXPECT_FALSE(logger.is_open());
  log_lines(1001);  // reaches the trim, which has nothing to read
  EXPECT_EQ(901u, logger.line_count());
  stop();
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(NOXLoggerTest, AnUnconvertibleCharacterDoesNotLoseTheLine) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "C");
  start();
  wxLogMessage("%s", wxString(L"caf\u00e9 ok"));
  stop();
  std::setlocale(LC_CTYPE, saved.c_str());
  auto lines = read_lines(file_);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("caf? ok", body(lines[0]));
}

TEST_F(NOXLoggerTest, RecordsOfOtherThreadsReachTheFileWhenTheMainThreadFlushes) {
  start();
  std::thread worker([] { log_no_connect("ups-b"); });
  worker.join();
  // wxLog holds the record for the main thread; the main timer's flush writes it.
  EXPECT_TRUE(read_lines(file_).empty());
  wxLog::FlushActive();
  auto lines = read_lines(file_);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("Can't connect to ups-b", body(lines[0]));
  EXPECT_EQ(1u, logger_->line_count());
}

TEST_F(NOXLoggerTest, DestructionRestoresThePreviousTargetAfterWritingPendingRecords) {
  ScopedCapture previous;
  start();
  std::thread worker([] { wxLogMessage("late record"); });
  worker.join();
  stop();
  EXPECT_EQ(&previous.log(), wxLog::GetActiveTarget());
  EXPECT_TRUE(previous.take().empty());
  auto lines = read_lines(file_);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("late record", body(lines[0]));
  wxLogMessage("after");
  EXPECT_EQ(std::vector<std::string>{"after"}, previous.take());
}

}  // namespace
