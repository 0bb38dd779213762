#include "server/comm_thread.h"

#include <chrono>

#include "server/noxserver.h"

CommThread::CommThread(NOXServer* server) : wxThread(wxTHREAD_JOINABLE), server_(server) {}

bool CommThread::stopRequested() {
  std::lock_guard<std::mutex> hold(lock_);
  return stop_;
}

void CommThread::stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  Wait();
}

wxThread::ExitCode CommThread::Entry() {
  while (!TestDestroy() && !stopRequested()) {
    const int taken = server_ ? server_->receiveOnce() : 0;
    if (taken > 0) continue;
    std::unique_lock<std::mutex> hold(lock_);
    wake_.wait_for(hold, std::chrono::milliseconds(kIdlePauseMs), [this] { return stop_; });
  }
  return nullptr;
}
