// The wxWidgets side of the shutdown sequence: the delay and script timers and the
// script's process object. The sequence itself (shutdown_sequence.h) holds no framework
// objects.
#pragma once

#include <wx/event.h>
#include <wx/process.h>
#include <wx/timer.h>

#include <string>

#include "shutdown_sequence.h"

class SequenceGlue;

// Told by the framework, on the main thread, that the shutdown script has ended. The
// framework keeps a plain pointer to it until then, so it must outlive a script that
// outlives its owner: the owner releases it instead of deleting it.
class NOXScriptCallback : public wxProcess {
 public:
  explicit NOXScriptCallback(SequenceGlue* owner);
  ~NOXScriptCallback() override = default;

  void OnTerminate(int pid, int status) override;

  // The owner lets go: deleted at once when the script has ended, otherwise by itself
  // when it ends (the script is never killed). It then only writes its trace line.
  void release();
  // No process was started, so no end will ever be reported.
  void mark_not_started() { ended_ = true; }

 private:
  SequenceGlue* owner_;  // null once released
  bool ended_ = false;
  bool reporting_ = false;  // inside the owner's handling of the end
};

class SequenceGlue : public wxEvtHandler, private SequenceDriver {
 public:
  enum TimerId { kDelayTimer = 3, kScriptTimer = 4 };

  explicit SequenceGlue(SequenceHost& host);
  ~SequenceGlue() override;
  SequenceGlue(const SequenceGlue&) = delete;
  SequenceGlue& operator=(const SequenceGlue&) = delete;

  ShutdownSequence& sequence() { return sequence_; }

  // The program started for the Script setting. The setting was tested as a file relative
  // to the working directory, so a bare name must not be looked up on PATH.
  static std::string program_path(const std::string& script);

 private:
  friend class NOXScriptCallback;
  void script_ended(NOXScriptCallback* process);

  void start_delay_timer() override;
  void stop_delay_timer() override;
  void start_script_timer() override;
  void stop_script_timer() override;
  bool launch_script(const std::string& path) override;
  void release_script() override;
  void pause_ms(unsigned long ms) override;

  void on_delay_tick(wxTimerEvent& event);
  void on_script_tick(wxTimerEvent& event);

  wxTimer delay_timer_;
  wxTimer script_timer_;
  NOXScriptCallback* script_process_ = nullptr;  // the last script's; main thread only
  ShutdownSequence sequence_;
};
