// Test helpers of the logger tests: wx start-up for the whole program, and a log target
// that keeps the text of every record instead of writing it anywhere.
#pragma once

#include <wx/init.h>
#include <wx/log.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// wxLog only buffers records of other threads once wx knows which thread is the main one.
class WxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(wxInitialize()); }
  void TearDown() override { wxUninitialize(); }
};

struct CapturedRecord {
  wxLogLevel level;
  std::string text;
};

class CaptureLog : public wxLog {
 public:
  std::vector<CapturedRecord> records;

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(r.text);
    return out;
  }

 protected:
  void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo&) override {
    records.push_back({level, msg.ToStdString()});
  }
};

// Makes a CaptureLog the active target for the lifetime of the object.
class ScopedCapture {
 public:
  ScopedCapture() : previous_(wxLog::SetActiveTarget(&log_)) {}
  ~ScopedCapture() { wxLog::SetActiveTarget(previous_); }
  ScopedCapture(const ScopedCapture&) = delete;
  ScopedCapture& operator=(const ScopedCapture&) = delete;

  CaptureLog& log() { return log_; }
  // The texts logged since the last take().
  std::vector<std::string> take() {
    auto out = log_.texts();
    log_.records.clear();
    return out;
  }

 private:
  CaptureLog log_;
  wxLog* previous_;
};
