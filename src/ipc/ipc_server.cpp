#include "ipc/ipc_server.h"

#include <wx/utils.h>

IPCEnd::IPCThread::~IPCThread() {
  std::lock_guard<std::recursive_mutex> g(owner_->end_lock_);
  owner_->thread_ = nullptr;
}

wxThread::ExitCode IPCEnd::IPCThread::Entry() {
  while (!TestDestroy()) {
    if (!connection_) break;
    const int r = connection_->Poll();
    if (r < 0) break;
    // Poll itself waits for work; the pause only keeps a cycle that found nothing to do
    // (a wake-up, a dropped partial frame) from coming straight back.
    if (r == 0) wxMilliSleep(1);
  }
  return 0;
}

bool IPCEnd::IsRunning() const {
  std::lock_guard<std::recursive_mutex> g(end_lock_);
  return thread_ != nullptr;
}

bool IPCEnd::StartThread(IPCConnection* connection) {
  std::lock_guard<std::recursive_mutex> g(end_lock_);
  polled_ = connection;
  thread_ = new IPCThread(this, connection);
  if (thread_->Create() != wxTHREAD_NO_ERROR || thread_->Run() != wxTHREAD_NO_ERROR) {
    delete thread_;  // its destructor clears thread_
    thread_ = nullptr;
    return false;
  }
  return true;
}

void IPCEnd::StopThread() {
  IPCThread* thread = nullptr;
  {
    std::lock_guard<std::recursive_mutex> g(end_lock_);
    thread = thread_;
    if (!thread) return;
  }
  // Wake a poll that is waiting for the peer, then raise the stop request and wait for the
  // loop to end (it checks the request after every poll).
  if (polled_) polled_->Wake();
  thread->Delete();
  delete thread;  // its destructor clears thread_
}

IPCServer::~IPCServer() {
  StopThread();
  delete conn_;  // closes the sockets and removes the socket file
  conn_ = nullptr;
}

bool IPCServer::Create(const std::string& path) {
  conn_ = OnAcceptConnection();
  if (conn_ && conn_->Listen(path) && StartThread(conn_)) return true;
  delete conn_;
  conn_ = nullptr;
  return false;
}
