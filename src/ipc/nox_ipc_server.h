// The agent's side of the control channel: its connection runs the control commands,
// its server takes the agent's status pushes.
#pragma once

#include <wx/string.h>

#include "helper/push_sink.h"
#include "ipc/control_commands.h"
#include "ipc/ipc_server.h"

class ControlHost;

class NOXIPCServerConn : public IPCServerConnection {
 public:
  explicit NOXIPCServerConn(ControlHost& host) : host_(host), commands_(host) {}

  std::string OnRequest(const std::string& body) override { return commands_.OnRequest(body); }
  // Pushes on (or already on), then the full status push.
  std::string OnStartAdvise(const std::string& body) override;
  // Schedules one "remote_info:" push per remote; the item is not used.
  virtual bool OnStartPushes(const std::string& item);
  // Logs every refused peer with its user id.
  bool AcceptPeer(uid_t uid) override;

 protected:
  void OnPushWritten(const std::string& body, int result) override;
  void OnPushesDropped(std::size_t count) override;

 private:
  ControlHost& host_;
  ControlCommands commands_;
};

// The application creates it at start, before the worker threads, and destroys it first
// at exit. Advise only queues: no caller ever waits for the user interface.
class NOXIPCServer : public IPCServer, public PushSink {
 public:
  explicit NOXIPCServer(ControlHost& host) : host_(host) {}

  using IPCServer::Create;
  bool Create(const wxString& path);

  // Queues "push:" and the text for the connected peer, if it asked for pushes.
  void Advise(const wxString& text) override;

 protected:
  IPCServerConnection* OnAcceptConnection() override { return new NOXIPCServerConn(host_); }

 private:
  ControlHost& host_;
};
