// The application object: owns every component, starts them in a fixed order and stops
// them in reverse, runs the one-second main timer and the job queue.
#pragma once

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/thread.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <vector>

#include "helper/noxconfig.h"
#include "helper/push_sink.h"
#include "model/tree.h"

class NOXLogger;

using Job = std::function<void()>;

class NOXServiceApp : public wxAppConsole {
 public:
  enum TimerId { kDelayTimer = 3, kScriptTimer = 4, kMainTimer = 6, kSignalTimer = 7 };

  NOXServiceApp();
  ~NOXServiceApp() override;

  void OnInitCmdLine(wxCmdLineParser& parser) override;
  bool OnCmdLineParsed(wxCmdLineParser& parser) override;
  bool OnCmdLineError(wxCmdLineParser& parser) override;
  bool OnCmdLineHelp(wxCmdLineParser& parser) override;
  bool OnInit() override;
  int OnExit() override;

  Cluster* model() const;
  NOXConfig* cfg() const;

  void start_comm();
  bool stop_comm();
  // Rebuilds settings and device tree from the configuration file (main thread only).
  void reload_config();
  void save_config_job();
  // Callable from any thread; the job runs on the main thread with tree_mutex held.
  void post_job(Job job);
  void run_jobs();

  PushSink& pusher() { return *push_sink_; }
  const wxString& base_dir() const { return base_dir_; }

 private:
  void on_main_timer(wxTimerEvent& event);
  void on_signal_timer(wxTimerEvent& event);
  void flush_log();
  void release_logger();

  // Device tree root and settings: replaced only by reload_config, on the main thread,
  // with tree_mutex and addr_lock_ held.
  std::shared_ptr<Cluster> model_;
  std::unique_ptr<NOXConfig> cfg_;
  NOXLogger* logger_ = nullptr;

  wxMutex thread_lock_{wxMUTEX_RECURSIVE};  // guards the worker thread pointers
  wxMutex addr_lock_{wxMUTEX_RECURSIVE};    // guards the remotes' resolved addresses
  wxMutex job_lock_{wxMUTEX_RECURSIVE};     // guards job_queue_
  std::vector<Job> job_queue_;

  std::unique_ptr<PushSink> push_sink_;
  wxString base_dir_;
  wxTimer main_timer_;
  wxTimer signal_timer_;  // picks up SIGTERM / SIGHUP flags promptly

  wxDECLARE_EVENT_TABLE();
};

wxDECLARE_APP(NOXServiceApp);
