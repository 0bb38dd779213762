#include "noxservice_app.h"

#include <wx/filefn.h>
#include <wx/log.h>

#include "app_links.h"
#include "helper/cfg_helper.h"
#include "ipc/push_bodies.h"
#include "ipc/nox_ipc_server.h"
#include "logger/log_ops.h"
#include "logger/noxlogger.h"
#include "remote_msg.h"
#include "send_thread.h"
#include "sender.h"
#include "sequence_glue.h"
#include "server/comm_thread.h"
#include "server/noxserver.h"
#include "signals.h"

wxBEGIN_EVENT_TABLE(NOXServiceApp, wxAppConsole)
  EVT_TIMER(NOXServiceApp::kMainTimer, NOXServiceApp::on_main_timer)
  EVT_TIMER(NOXServiceApp::kSignalTimer, NOXServiceApp::on_signal_timer)
wxEND_EVENT_TABLE()

NOXServiceApp::NOXServiceApp()
    : links_(new AppLinks(*this)),
      resolver_(new Resolver),
      main_timer_(this, kMainTimer),
      signal_timer_(this, kSignalTimer) {}

NOXServiceApp::~NOXServiceApp() {
  sequence_.reset();
  wxMutexLocker tree(tree_mutex);
  model_.reset();
  cfg_.reset();
  server_.reset();
}

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
  sequence_.reset(new SequenceGlue(*links_));

  ipc_server_.reset(new NOXIPCServer(*links_));
  if (!ipc_server_->Create(wxString(kControlSocket))) {
    release_logger();
    ipc_server_.reset();
    return false;
  }
  push_relay_.set_target(ipc_server_.get());

  rebuild_query_block();

  server_.reset(new NOXServerUnix(links_.get()));
  int port = static_cast<int>(cfg_->server_udp_port());
  server_->bindPort(port);
  {
    wxMutexLocker tree(tree_mutex);
    cfg_->set_server_udp_port(static_cast<uint32_t>(port));
    save_config_job();
  }
  if (port == 0) {
    wxLogError("Create communication server failed");
    release_logger();
    ipc_server_.reset();
    return false;
  }
  wxLogMessage("Noxguard bind udp port %u", static_cast<unsigned>(port));

  if (!start_threads()) return false;
  start_comm();
  main_timer_.Start(1000);
  signal_timer_.Start(100);
  wxLogMessage("Noxguard start successful");
  return true;
}

bool NOXServiceApp::start_threads() {
  wxMutexLocker lock(thread_lock_);
  comm_thread_ = new CommThread(server_.get());
  if (comm_thread_->Create() != wxTHREAD_NO_ERROR) {
    wxLogError("Create communication thread failed");
  } else if (comm_thread_->Run() != wxTHREAD_NO_ERROR) {
    wxLogError("Run communication thread failed");
  } else {
    sender_.reset(new Sender(*links_, watch_table_, *resolver_));
    send_thread_ = new SendThread(*sender_, [this] { return model_.get(); }, push_relay_);
    const char* failure = nullptr;
    if (send_thread_->Create() != wxTHREAD_NO_ERROR)
      failure = "Create send thread failed";
    else if (send_thread_->Run() != wxTHREAD_NO_ERROR)
      failure = "Run send thread failed";
    if (!failure) return true;
    delete send_thread_;
    send_thread_ = nullptr;
    wxLogError(failure);
    // No OnExit follows a failed start: the receiver must not outlive the endpoint it reads.
    comm_thread_->stop();
    delete comm_thread_;
    comm_thread_ = nullptr;
    return false;
  }
  delete comm_thread_;
  comm_thread_ = nullptr;
  release_logger();
  ipc_server_.reset();
  return false;
}

void NOXServiceApp::stop_threads() {
  // Both loops end within one pause; stop() waits for each.
  wxMutexLocker lock(thread_lock_);
  if (comm_thread_) {
    comm_thread_->stop();
    delete comm_thread_;
    comm_thread_ = nullptr;
  }
  if (send_thread_) {
    send_thread_->stop();
    delete send_thread_;
    send_thread_ = nullptr;
  }
}

int NOXServiceApp::OnExit() {
  main_timer_.Stop();
  signal_timer_.Stop();
  stop_comm();
  push_relay_.set_target(nullptr);
  ipc_server_.reset();
  sequence_.reset();  // a still running script is let go, not killed
  stop_threads();
  {
    wxMutexLocker tree(tree_mutex);
    wxMutexLocker addr(addr_lock_);
    address_book_.clear();
    model_.reset();
    cfg_.reset();
  }
  server_.reset();
  wxLogMessage("User exit Noxguard");
  release_logger();
  return 0;
}

void NOXServiceApp::start_comm() {
  wxASSERT(server_);
  if (server_) server_->setEnabled(true);
}

bool NOXServiceApp::stop_comm() {
  wxASSERT(server_);
  if (server_) server_->setEnabled(false);
  return true;
}

void NOXServiceApp::reload_config() {
  bool rejected = false;  // an existing file was refused and kept aside
  {
    wxLogNull quiet;  // nothing, the loader included, reaches the event log meanwhile
    wxMutexLocker tree(tree_mutex);
    wxMutexLocker addr(addr_lock_);
    cfg_.reset(new NOXConfig);
    model_ = std::make_shared<Non_Cluster>("", nullptr);
    if (!NOXCfgHelper::load(cfg_.get(), model_.get(), base_dir_)) {
      rejected = NOXCfgHelper::preserve_rejected(base_dir_);
      NOXCfgHelper::save(cfg_.get(), model_.get(), base_dir_);
    }
    if (sender_) sender_->resetSchedule();
    address_book_.rebuild(*model_);
  }
  if (rejected)
    wxLogWarning("Noxguard.conf could not be read; it was kept as Noxguard.conf.bad and replaced by the defaults");
}

void NOXServiceApp::save_config_job() {
  wxLogNull quiet;
  NOXCfgHelper::save(cfg_.get(), model_.get(), base_dir_);
}

void NOXServiceApp::rebuild_query_block() {
  build_query_block(cfg_->alias(), query_block_);
  log_debug(query_block_log_text(query_block_));
}

void NOXServiceApp::publish_addresses() {
  if (model_) address_book_.rebuild(*model_);
}

void NOXServiceApp::post_job(Job job) { job_queue_.post(std::move(job)); }

void NOXServiceApp::run_jobs() { job_queue_.run(tree_mutex); }

void NOXServiceApp::check_remote_msg() {
  std::vector<RemotePayload> payloads = datagram_queue_.take_all();
  if (payloads.empty()) return;
  log_debug("===have check_remote_msg");
  {
    wxMutexLocker tree(tree_mutex);
    RemoteMsgContext ctx{*model_, *cfg_, sequence_ && sequence_->sequence().in_sequence(), pusher(),
                         [](const Remote& r) { return to_wide(remote_info_text(r)); }};
    handle_remote_payloads(payloads, ctx);
  }
  cluster_shutdown_check(false);
}

void NOXServiceApp::cluster_shutdown_check(bool tree_held) {
  if (!sequence_) return;
  sequence_->sequence().cluster_shutdown_check([this, tree_held] {
    if (tree_held) return model_->getShutStatus();
    wxMutexLocker tree(tree_mutex);
    return model_->getShutStatus();
  });
}

void NOXServiceApp::shut() {
  if (sequence_) sequence_->sequence().shut();
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
  check_remote_msg();
  flush_log();
}

void NOXServiceApp::on_signal_timer(wxTimerEvent&) {
  if (take_reload_request()) reload_config();
  if (take_terminate_request()) ExitMainLoop();
}
