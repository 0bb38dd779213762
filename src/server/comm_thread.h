// The receiver thread: runs reception cycles on the endpoint until it is told to stop.
#pragma once

#include <wx/thread.h>

#include <condition_variable>
#include <mutex>

class NOXServer;

// Joinable: the owner calls Run(), and at exit stop(), which returns once the loop has ended;
// then it deletes the object. A cycle that read datagrams is followed at once by the next
// one; only an idle cycle is followed by a pause.
class CommThread : public wxThread {
 public:
  static constexpr int kIdlePauseMs = 500;

  explicit CommThread(NOXServer* server);

  // Asks the loop to end, cuts its pause short and waits for it. Call once, after Run().
  void stop();

 protected:
  ExitCode Entry() override;

 private:
  bool stopRequested();

  NOXServer* server_;
  std::mutex lock_;  // guards stop_
  std::condition_variable wake_;
  bool stop_ = false;
};
