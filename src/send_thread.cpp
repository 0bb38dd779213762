#include "send_thread.h"

#include <wx/arrstr.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include "ipc/push_bodies.h"
#include "logger/log_ops.h"

SendThread::SendThread(Sender& sender, std::function<Cluster*()> root, PushSink& pushes)
    : wxThread(wxTHREAD_JOINABLE), sender_(sender), root_(std::move(root)), pushes_(pushes) {}

void SendThread::stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  Wait();
}

bool SendThread::pause(int ms) {
  std::unique_lock<std::mutex> g(lock_);
  return wake_.wait_for(g, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void SendThread::onePass() {
  wxArrayString timeouts;
  if (tree_mutex.TryLock() != wxMUTEX_NO_ERROR) return;  // the main thread or a command goes first
  try {
    if (Cluster* root = root_()) timeouts = sender_.runPass(*root);
  } catch (...) {
    log_debug("OnSend catch a exception");
  }
  tree_mutex.Unlock();
  if (timeouts.empty()) return;
  std::vector<std::string> names;
  for (const auto& name : timeouts) names.push_back(to_narrow(name));
  pushes_.Advise(to_wide(timeout_text(names)));
}

wxThread::ExitCode SendThread::Entry() {
  if (pause(kStartDelayMs)) return nullptr;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  do {
    onePass();
  } while (!pause(kPassPauseMs));
  return nullptr;
}
