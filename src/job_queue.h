// Work other threads hand to the main thread. Jobs run on the main thread with tree_mutex
// held, in the order they were posted.
#pragma once

#include <wx/thread.h>

#include <functional>
#include <vector>

using Job = std::function<void()>;

class JobQueue {
 public:
  // Callable from any thread, with or without tree_mutex held (tree_mutex comes first).
  void post(Job job);
  // Main thread. Runs every queued job under tree; when another thread holds it, returns
  // false at once and the jobs wait for the next call.
  bool run(wxMutex& tree);
  std::size_t size() const;

 private:
  mutable wxMutex lock_{wxMUTEX_RECURSIVE};  // guards jobs_
  std::vector<Job> jobs_;
};
