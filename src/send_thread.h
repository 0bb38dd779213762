// The sender thread: about once a second a pass of the Sender over the device tree.
#pragma once

#include <wx/thread.h>

#include <condition_variable>
#include <functional>
#include <mutex>

#include "helper/push_sink.h"
#include "sender.h"

// Joinable: the owner calls Run(), and at exit stop(), which returns once the loop has
// ended; then it deletes the object.
class SendThread : public wxThread {
 public:
  static constexpr int kStartDelayMs = 1000;
  static constexpr int kPassPauseMs = 995;

  // root is called with tree_mutex held and returns the current root of the tree.
  SendThread(Sender& sender, std::function<Cluster*()> root, PushSink& pushes);

  void stop();

 protected:
  ExitCode Entry() override;

 private:
  // Sleeps up to ms; true when asked to stop meanwhile.
  bool pause(int ms);
  void onePass();

  Sender& sender_;
  std::function<Cluster*()> root_;
  PushSink& pushes_;
  std::mutex lock_;  // guards stop_
  std::condition_variable wake_;
  bool stop_ = false;
};
