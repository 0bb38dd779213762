// The application object: owns every component, starts them in a fixed order and stops
// them in reverse, runs the one-second main timer and the job queue.
#pragma once

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/thread.h>
#include <wx/timer.h>

#include <memory>

#include "helper/noxconfig.h"
#include "job_queue.h"
#include "helper/push_sink.h"
#include "model/tree.h"
#include "server/address_book.h"
#include "server/datagram.h"
#include "server/remote_payload.h"
#include "watch_table.h"

class NOXLogger;
class NOXServerUnix;
class NOXIPCServer;
class CommThread;
class SendThread;
class Sender;
class Resolver;
class SequenceGlue;
class AppLinks;

class NOXServiceApp : public wxAppConsole {
 public:
  enum TimerId { kMainTimer = 6, kSignalTimer = 7 };
  static constexpr const char* kControlSocket = "/opt/nox/nox.ipc";

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
  // Saves settings and tree; the caller holds tree_mutex (jobs do).
  void save_config_job();
  // Callable from any thread; the job runs on the main thread with tree_mutex held.
  void post_job(Job job);
  void run_jobs();
  // Handles the datagrams received since the last tick, then takes the shutdown decision.
  void check_remote_msg();
  // The decision; tree_held says whether the caller already holds tree_mutex.
  void cluster_shutdown_check(bool tree_held);
  void shut();
  void rebuild_query_block();
  // Republishes the receiver's view of the resolved addresses; tree_mutex is held.
  void publish_addresses();

  PushSink& pusher() { return push_relay_; }
  const wxString& base_dir() const { return base_dir_; }
  WatchTable& watch_table() { return watch_table_; }
  DatagramQueue& datagram_queue() { return datagram_queue_; }
  wxMutex& addr_lock() { return addr_lock_; }
  AddressBook& address_book() { return address_book_; }
  NOXServerUnix* server() { return server_.get(); }

 private:
  void on_main_timer(wxTimerEvent& event);
  void on_signal_timer(wxTimerEvent& event);
  void flush_log();
  void release_logger();
  bool start_threads();
  void stop_threads();

  // Device tree root and settings: replaced only by reload_config, on the main thread,
  // with tree_mutex and addr_lock_ held; read by other threads only under tree_mutex.
  std::shared_ptr<Cluster> model_;
  std::unique_ptr<NOXConfig> cfg_;
  NOXLogger* logger_ = nullptr;
  std::unique_ptr<NOXServerUnix> server_;

  wxMutex thread_lock_{wxMUTEX_RECURSIVE};  // guards comm_thread_ and send_thread_
  CommThread* comm_thread_ = nullptr;
  SendThread* send_thread_ = nullptr;
  std::unique_ptr<NOXIPCServer> ipc_server_;
  PushRelay push_relay_;  // every push goes here; it reaches ipc_server_ while that exists
  WatchTable watch_table_;  // has its own lock
  wxMutex addr_lock_{wxMUTEX_RECURSIVE};  // guards the remotes' resolved addresses
  AddressBook address_book_;              // the receiver's view of them; has its own lock

  std::unique_ptr<AppLinks> links_;  // the interfaces the components see the app through
  std::unique_ptr<Resolver> resolver_;
  std::unique_ptr<Sender> sender_;
  std::unique_ptr<SequenceGlue> sequence_;

  wxString base_dir_;
  wxTimer main_timer_;
  wxTimer signal_timer_;  // picks up SIGTERM / SIGHUP flags promptly
  DatagramQueue datagram_queue_;  // has its own lock
  JobQueue job_queue_;  // has its own lock, taken after tree_mutex
  unsigned char query_block_[datagram::kQueryBlockSize] = {};

  wxDECLARE_EVENT_TABLE();
};
