// The decision to protect the host and the shutdown sequence that follows it: the
// shutdown delay, the script period and the protective action. Pure logic on the main
// thread; the timers and the script process are driven through SequenceDriver (the
// wxWidgets side lives in sequence_glue.h), so the whole path runs in tests against
// fakes and a fake clock.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "helper/noxconfig.h"
#include "helper/push_sink.h"

// What the sequence needs from the application.
class SequenceHost {
 public:
  virtual ~SequenceHost() = default;
  virtual NOXConfig& config() = 0;
  // Switch the reading of device datagrams off / on (the application's own operations).
  virtual bool stop_comm() = 0;
  virtual void start_comm() = 0;
  // Leave the main loop; the orderly stop follows once the current event is handled.
  virtual void exit_main_loop() = 0;
  // Drop every received datagram still waiting for the main thread.
  virtual void discard_datagrams() = 0;
  virtual PushSink& pusher() = 0;
};

// Timers and the script process. Both timers tick every 1000 ms until stopped.
class SequenceDriver {
 public:
  virtual ~SequenceDriver() = default;
  virtual void start_delay_timer() = 0;  // ticks call ShutdownSequence::on_delay_timer
  virtual void stop_delay_timer() = 0;
  virtual void start_script_timer() = 0;  // ticks call ShutdownSequence::on_script_timer
  virtual void stop_script_timer() = 0;
  // Lets go of the previous script's process object and starts `path` as one program,
  // without splitting it at blanks. The end of that script (and of no other) is reported
  // through ShutdownSequence::on_script_terminated, possibly before this returns.
  // False when no process could be started.
  virtual bool launch_script(const std::string& path) = 0;
  // Lets go of the last script's process object (a still running script is not killed).
  virtual void release_script() = 0;
  // Blocks the main thread.
  virtual void pause_ms(unsigned long ms) = 0;
};

class ShutdownSequence {
 public:
  // Reads getShutStatus of the device tree root. The caller decides how to read it
  // consistently with tree edits (jobs already hold tree_mutex; the datagram path does not).
  using StatusReader = std::function<int()>;

  static constexpr std::time_t kSleepQuietSeconds = 15;  // no decision after a Sleep action
  static constexpr unsigned long kResumePauseMs = 2000;   // pause after the host woke up

  ShutdownSequence(SequenceHost& host, SequenceDriver& driver);
  ShutdownSequence(const ShutdownSequence&) = delete;
  ShutdownSequence& operator=(const ShutdownSequence&) = delete;

  // The one place that decides to protect the host, or to cancel during the delay.
  void cluster_shutdown_check(const StatusReader& root_status);

  void enter_shutdown_sequence();
  void start_shutdown_delay();
  void on_delay_timer();
  void restore();

  void run_script();
  void on_script_timer();
  // how: 0 no script was to be run, -1 the configured script cannot be run,
  // 1 a script was started (it may still be running).
  void end_script(int how);
  // The current script's process has ended.
  void on_script_terminated();

  // Announces and runs the configured protective action.
  void shut();
  bool exec_protect_action(int action);

  bool in_sequence() const { return in_sequence_; }
  bool delay_running() const { return delay_running_; }
  bool script_period() const { return script_period_; }
  std::time_t last_sleep_time() const { return last_sleep_time_; }
  int32_t script_left() const { return script_left_; }

 private:
  void push(const wxString& text);
  void stop_listening(const char* trace);
  // Back to watching: no timer runs, and communication is on again if this sequence
  // switched it off.
  void leave_sequence();

  SequenceHost& host_;
  SequenceDriver& driver_;

  // Main-thread state; no lock.
  bool in_sequence_ = false;
  bool delay_running_ = false;
  bool script_period_ = false;     // the script timer runs
  bool comm_stopped_ = false;      // this sequence switched communication off
  bool launching_ = false;         // inside launch_script
  bool ended_at_launch_ = false;   // the script ended (or failed) while being launched
  std::time_t last_sleep_time_ = 0;
  int32_t delay_length_ = 0;
  std::time_t delay_start_ = 0;
  int64_t delay_ticks_ = 0;
  int32_t script_left_ = 0;
};
