// Recording stand-ins for everything the shutdown sequence touches. Every observable
// step lands, in order, in one Journal, so a test states the whole story it expects.
#pragma once

#include <wx/init.h>
#include <wx/log.h>

#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "helper/clock.h"
#include "helper/noxconfig.h"
#include "helper/push_sink.h"
#include "logger/log_ops.h"
#include "output/msg_output.h"
#include "output/shutter.h"
#include "shutdown_sequence.h"

namespace seqtest {

using Lines = std::vector<std::string>;

struct Journal {
  Lines lines;
  void add(const std::string& line) { lines.push_back(line); }
  std::size_t count(const std::string& line) const {
    std::size_t n = 0;
    for (const auto& l : lines) n += (l == line);
    return n;
  }
  // Index of the n-th (0-based) occurrence, or -1.
  long index_of(const std::string& line, std::size_t nth = 0) const {
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i] == line && nth-- == 0) return static_cast<long>(i);
    return -1;
  }
};

// The framework is initialised once for the whole test program (a plain console app
// when no test made its own), since wxExecute and the log need it.
inline void ensure_wx() { static wxInitializer init; }

// Every log record, at any level, as "log:<text>", without time stamps.
class CaptureLog : public wxLog {
 public:
  explicit CaptureLog(Journal& j) : j_(j) {}

 protected:
  void DoLogRecord(wxLogLevel, const wxString& msg, const wxLogRecordInfo&) override {
    j_.add("log:" + msg.ToStdString());
  }

 private:
  Journal& j_;
};

class RecordingSink : public PushSink {
 public:
  explicit RecordingSink(Journal& j) : j_(j) {}
  void Advise(const wxString& text) override { j_.add("push:" + text.ToStdString()); }

 private:
  Journal& j_;
};

class FakeHost : public SequenceHost {
 public:
  explicit FakeHost(Journal& j) : j_(j), sink_(j) {}
  NOXConfig& config() override { return cfg; }
  bool stop_comm() override {
    j_.add("stop_comm");
    return true;
  }
  void start_comm() override { j_.add("start_comm"); }
  void exit_main_loop() override {
    j_.add("exit_main_loop");
    if (on_exit) on_exit();
  }
  void discard_datagrams() override { j_.add("discard_datagrams"); }
  PushSink& pusher() override { return sink_; }

  NOXConfig cfg{"test-host"};
  std::function<void()> on_exit;

 private:
  Journal& j_;
  RecordingSink sink_;
};

class FakeShutter : public NOXShutterUnix {
 public:
  struct Script {
    Journal* journal = nullptr;
    FakeClock* clock = nullptr;  // moved on by a hibernation
    bool shutdown_ok = true;
    bool sleep_ok = true;
    std::time_t slept_seconds = 600;
  };
  explicit FakeShutter(Script& s) : s_(s) {}
  bool shutdown() override {
    s_.journal->add("shutdown");
    return s_.shutdown_ok;
  }
  bool sleep() override {
    s_.journal->add("sleep");
    if (s_.clock) s_.clock->advance(s_.slept_seconds);
    return s_.sleep_ok;
  }

 private:
  Script& s_;
};

// make_msg_output takes a plain function, so the recorder reaches its journal through this.
inline Journal*& msg_journal() {
  static Journal* j = nullptr;
  return j;
}

class FakeMsgOutput : public NOXMsgOutput {
 public:
  void announce_delay(int action, int seconds) override {
    msg_journal()->add("announce_delay:" + std::to_string(action) + "," + std::to_string(seconds));
  }
  void announce_script(int action, int seconds) override {
    msg_journal()->add("announce_script:" + std::to_string(action) + "," + std::to_string(seconds));
  }
};

inline std::shared_ptr<NOXMsgOutput> make_fake_msg_output() { return std::make_shared<FakeMsgOutput>(); }

// Installs the log capture, debug mode, the fake message output and the fake shutter for
// the lifetime of the object; everything is put back afterwards.
class Recorders {
 public:
  Recorders(Journal& j, FakeClock* clock) : capture_(j) {
    ensure_wx();
    shutter.journal = &j;
    shutter.clock = clock;
    old_log_ = wxLog::SetActiveTarget(&capture_);
    old_debug_ = debug_mode.exchange(true);
    msg_journal() = &j;
    set_msg_output_factory(&make_fake_msg_output);
    set_shutter_factory([this] { return std::make_shared<FakeShutter>(shutter); });
  }
  ~Recorders() {
    set_shutter_factory(nullptr);
    set_msg_output_factory(nullptr);
    msg_journal() = nullptr;
    debug_mode = old_debug_;
    wxLog::SetActiveTarget(old_log_);
  }
  Recorders(const Recorders&) = delete;
  Recorders& operator=(const Recorders&) = delete;

  FakeShutter::Script shutter;

 private:
  CaptureLog capture_;
  wxLog* old_log_ = nullptr;
  bool old_debug_ = false;
};

// A scratch directory removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/noxseq.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) path_ = buf.data();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

  // Writes a file, executable when asked; returns its path.
  std::string write(const std::string& name, const std::string& text, bool executable = true) const {
    const std::string p = path_ + "/" + name;
    std::ofstream(p) << text;
    chmod(p.c_str(), executable ? 0755 : 0644);
    return p;
  }
  std::string mkdir(const std::string& name) const {
    const std::string p = path_ + "/" + name;
    ::mkdir(p.c_str(), 0755);
    return p;
  }

 private:
  std::string path_;
};

}  // namespace seqtest
