// The server end of the control channel: one connection and the thread that polls it.
#pragma once

#include <wx/thread.h>

#include <mutex>
#include <string>

#include "ipc/ipc_connection.h"

// Owns the thread of an endpoint.
class IPCEnd {
 public:
  class IPCThread : public wxThread {
   public:
    IPCThread(IPCEnd* owner, IPCConnection* connection)
        : wxThread(wxTHREAD_JOINABLE), owner_(owner), connection_(connection) {}
    // Clears the owner's thread_ under its end_lock_.
    ~IPCThread() override;

   protected:
    ExitCode Entry() override;

   private:
    IPCEnd* owner_;
    IPCConnection* connection_;
  };

  IPCEnd() = default;
  IPCEnd(const IPCEnd&) = delete;
  IPCEnd& operator=(const IPCEnd&) = delete;

  bool IsRunning() const;

 protected:
  ~IPCEnd() = default;
  // Runs connection->Poll on a new thread until asked to stop. Joinable: StopThread waits
  // for the thread to end and only then frees it, so nothing of it outlives the server.
  bool StartThread(IPCConnection* connection);
  // Asks the thread to end and waits until it has.
  void StopThread();

  IPCThread* thread_ = nullptr;       // the running thread, null when none; guarded by end_lock_
  mutable std::recursive_mutex end_lock_;
  IPCConnection* polled_ = nullptr;   // what the thread polls, to wake it for a stop
};

class IPCServer : public IPCEnd {
 public:
  IPCServer() = default;
  virtual ~IPCServer();

  // Makes the connection, listens on path and starts the thread; false, with no
  // connection left, when any step fails.
  bool Create(const std::string& path);
  IPCServerConnection* connection() const { return conn_; }

 protected:
  // The factory of the server's connection.
  virtual IPCServerConnection* OnAcceptConnection() { return new IPCServerConnection; }

  IPCServerConnection* conn_ = nullptr;  // owned
};
