// The one object through which the receiver, the sender, the shutdown sequence and the
// control channel reach the application. Each interface is small; this class only forwards.
#pragma once

#include "ipc/control_host.h"
#include "sender.h"
#include "server/receive_rules.h"
#include "shutdown_sequence.h"

class NOXServiceApp;

class AppLinks : public ReceiveSink, public SenderHost, public SequenceHost, public ControlHost {
 public:
  explicit AppLinks(NOXServiceApp& app) : app_(app) {}

  // ReceiveSink (receiver thread)
  RemotePtr lookupSender(const sockaddr* from) override;
  void deliver(RemotePayload&& payload) override;

  // SenderHost (sender thread, tree_mutex held)
  std::string alias() override;
  int sendTo(const addrinfo* ai, const unsigned char* bytes, std::size_t len) override;
  void advise(const wxString& text) override;
  wxString remoteInfoText(const Remote& remote) override;
  void storeAddress(Remote& remote, AddrInfoPtr address) override;
  void addressesChanged() override;

  // SequenceHost and ControlHost (main thread / control thread)
  NOXConfig& config() override;
  bool stop_comm() override;
  void start_comm() override;
  void exit_main_loop() override;
  void discard_datagrams() override;
  PushSink& pusher() override;

  Cluster& root() override;
  std::string base_dir() const override;
  void post_job(std::function<void()> job) override;
  void erase_watch(const std::string& name) override;
  void rebuild_query_block() override;
  void push_remote_info() override;
  void save_config_job() override;
  void cluster_shutdown_check() override;
  void shut() override;
  void request_exit() override;

 private:
  NOXServiceApp& app_;
};
