// The event log file: the active wxLog target of the agent. Every record becomes one line
// "[%Y/%m/%d %H:%M:%S]: " + ("Error: " | "Warning: ") + text, appended to the file; the file
// is kept near 1000 lines by dropping its oldest 100 lines whenever it grows past that
// (never in debug mode).
//
// Records logged on other threads are buffered by wxLog and written when the main thread
// calls wxLog::FlushActive() (the application's one-second timer does), so the file, the
// line count and the trim are touched by the main thread only.
#pragma once

#include <wx/log.h>

#include <cstdint>
#include <string>

class NOXLogger : public wxLog {
 public:
  static constexpr uint32_t kMaxLines = 1000;
  static constexpr uint32_t kTrimLines = 100;

  // Opens (creating with mode 0644) `file_name` for appending and counts its lines. A file
  // that cannot be opened loses its lines silently; counting and trimming still run.
  // `previous` becomes the active target again when this logger is destroyed.
  NOXLogger(wxLog* previous, const std::string& file_name);
  ~NOXLogger() override;
  NOXLogger(const NOXLogger&) = delete;
  NOXLogger& operator=(const NOXLogger&) = delete;

  uint32_t line_count() const { return line_count_; }
  bool is_open() const { return fd_ >= 0; }

 protected:
  void DoLogText(const wxString& msg) override;

 private:
  void open_file();
  void trim();

  std::string file_name_;
  int fd_ = -1;
  wxLog* previous_;
  uint32_t line_count_ = 0;  // lines in the file as far as we know; main thread only
};
