#include "job_queue.h"

void JobQueue::post(Job job) {
  wxMutexLocker g(lock_);
  jobs_.push_back(std::move(job));
}

bool JobQueue::run(wxMutex& tree) {
  if (tree.TryLock() != wxMUTEX_NO_ERROR) return false;
  std::vector<Job> jobs;
  {
    wxMutexLocker g(lock_);
    jobs.swap(jobs_);
  }
  for (auto& job : jobs) job();
  tree.Unlock();
  // Destroyed after the lock is released: a job's captures may take locks of their own.
  jobs.clear();
  return true;
}

std::size_t JobQueue::size() const {
  wxMutexLocker g(lock_);
  return jobs_.size();
}
