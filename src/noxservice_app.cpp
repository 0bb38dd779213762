#include "noxservice_app.h"

#include <wx/filefn.h>
#include <wx/log.h>

#include "logger/log_ops.h"
#include "logger/noxlogger.h"
#include "signals.h"

wxBEGIN_EVENT_TABLE(NOXServiceApp, wxAppConsole)
  EVT_TIMER(NOXServiceApp::kMainTimer, NOXServiceApp::on_main_timer)
  EVT_TIMER(NOXServiceApp::kSignalTimer, NOXServiceApp::on_signal_timer)
wxEND_EVENT_TABLE()

NOXServiceApp::NOXServiceApp()
    : push_sink_(new NullPushSink), main_timer_(this, kMainTimer), signal_timer_(this, kSignalTimer) {}

NOXServiceApp::~NOXServiceApp() = default;

void NOXServiceApp::OnInitCmdLine(wxCmdLineParser& parser) {
  // Only the debug switch: the framework's own options (help, verbose) are not offered.
  parser.AddSwitch("d", "debug", "run this software at debug mode to see the trace in log file");
}

bool NOXServiceApp::OnCmdLineParsed(wxCmdLineParser& parser) {
  if (parser.Found("d")) debug_mode = true;
  return true;
}

bool NOXServiceApp::OnCmdLineError(wxCmdLineParser&) { return false; }
bool NOXServiceApp::OnCmdLineHelp(wxCmdLineParser&) { return false; }

Cluster* NOXServiceApp::model() const {
  wxASSERT(model_);
  return model_.get();
}

NOXConfig* NOXServiceApp::cfg() const {
  wxASSERT(cfg_);
  return cfg_.get();
}

bool NOXServiceApp::OnInit() {
  if (!wxAppConsole::OnInit()) return false;
  base_dir_ = wxGetCwd() + "/";
  logger_ = new NOXLogger(wxLog::GetActiveTarget(), to_narrow(base_dir_ + "Noxguard.txt"));
  wxLog::SetActiveTarget(logger_);

  reload_config();

  main_timer_.Start(1000);
  signal_timer_.Start(100);
  wxLogMessage("Noxguard start successful");
  return true;
}

int NOXServiceApp::OnExit() {
  main_timer_.Stop();
  signal_timer_.Stop();
  stop_comm();

  {
    wxMutexLocker tree(tree_mutex);
    model_.reset();
  }
  cfg_.reset();
  wxLogMessage("User exit Noxguard");
  release_logger();
  return 0;
}

void NOXServiceApp::start_comm() {}

bool NOXServiceApp::stop_comm() { return true; }

void NOXServiceApp::reload_config() {
  wxLogNull quiet;  // nothing, the loader included, reaches the event log meanwhile
  wxMutexLocker tree(tree_mutex);
  wxMutexLocker addr(addr_lock_);
  cfg_.reset(new NOXConfig);
  model_ = std::make_shared<Non_Cluster>("", nullptr);
}

void NOXServiceApp::save_config_job() { wxLogNull quiet; }

void NOXServiceApp::post_job(Job job) {
  wxMutexLocker lock(job_lock_);
  job_queue_.push_back(std::move(job));
}

void NOXServiceApp::run_jobs() {
  if (tree_mutex.TryLock() != wxMUTEX_NO_ERROR) return;  // busy: the jobs wait for the next tick
  std::vector<Job> jobs;
  {
    wxMutexLocker lock(job_lock_);
    jobs.swap(job_queue_);
  }
  for (auto& job : jobs) job();
  tree_mutex.Unlock();
}

void NOXServiceApp::release_logger() {
  // The logger puts the previous target back when it goes.
  delete logger_;
  logger_ = nullptr;
}

void NOXServiceApp::flush_log() {
  // Records logged on other threads wait in the framework until the main thread flushes.
  wxLog::FlushActive();
}

void NOXServiceApp::on_main_timer(wxTimerEvent&) {
  run_jobs();
  flush_log();
}

void NOXServiceApp::on_signal_timer(wxTimerEvent&) {
  if (take_reload_request()) reload_config();
  if (take_terminate_request()) ExitMainLoop();
}
