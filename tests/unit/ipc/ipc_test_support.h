// Shared pieces of the control-channel tests: a temporary socket folder, a recording
// stand-in for the application, and small tree builders.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "helper/noxconfig.h"
#include "helper/push_sink.h"
#include "ipc/control_host.h"
#include "ipc/push_bodies.h"
#include "model/events.h"
#include "model/tree.h"

// A private folder for socket files, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/noxipc.XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    path_ = d ? d : "";
  }
  ~TempDir() {
    if (!path_.empty()) {
      const std::string cmd = "rm -rf '" + path_ + "'";
      [[maybe_unused]] int rc = ::system(cmd.c_str());
    }
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline bool file_exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Records what the commands ask of the application. Every use of the tree or the settings
// checks that someone holds tree_mutex, as the real application requires.
class FakeHost : public ControlHost {
 public:
  NOXConfig cfg;
  Non_Cluster tree{"", nullptr};
  std::string dir = "/srv/nox/";
  PushSink* sink = nullptr;

  NOXConfig& config() override {
    check_locked();
    return cfg;
  }
  Cluster& root() override {
    check_locked();
    return tree;
  }
  std::string base_dir() const override { return dir; }
  void post_job(std::function<void()> job) override {
    std::lock_guard<std::mutex> g(m_);
    jobs_.push_back(std::move(job));
  }
  void erase_watch(const std::string& name) override {
    check_locked();
    std::lock_guard<std::mutex> g(m_);
    erased_.push_back(name);
  }
  void rebuild_query_block() override { record("rebuild"); }
  void push_remote_info() override {
    record("push");
    if (sink) ::push_remote_info(tree, *sink);
  }
  void save_config_job() override { record("save"); }
  void cluster_shutdown_check() override { record("check"); }
  void shut() override { record("shut"); }
  void request_exit() override { record("exit"); }

  // Runs the posted jobs the way the main thread does (under tree_mutex) and returns the
  // operations they called, in order.
  std::vector<std::string> run_jobs() {
    std::vector<std::function<void()>> jobs;
    {
      std::lock_guard<std::mutex> g(m_);
      jobs.swap(jobs_);
      calls_.clear();
    }
    {
      wxMutexLocker lock(tree_mutex);
      for (auto& j : jobs) j();
    }
    std::lock_guard<std::mutex> g(m_);
    return calls_;
  }
  std::size_t pending_jobs() {
    std::lock_guard<std::mutex> g(m_);
    return jobs_.size();
  }
  std::vector<std::string> erased() {
    std::lock_guard<std::mutex> g(m_);
    return erased_;
  }
  int unlocked_uses() {
    std::lock_guard<std::mutex> g(m_);
    return unlocked_uses_;
  }

 private:
  void record(const char* what) {
    check_locked();
    std::lock_guard<std::mutex> g(m_);
    calls_.push_back(what);
  }
  void check_locked() {
    if (tree_mutex.TryLock() == wxMUTEX_NO_ERROR) {
      tree_mutex.Unlock();
      std::lock_guard<std::mutex> g(m_);
      ++unlocked_uses_;
    }
  }

  std::mutex m_;
  std::vector<std::function<void()>> jobs_;
  std::vector<std::string> calls_;
  std::vector<std::string> erased_;
  int unlocked_uses_ = 0;
};

// A remote that has answered: connected, with a known delay and host name.
inline Remote* add_connected(Cluster& c, const std::string& name, uint32_t delay = 30) {
  RemotePtr r = c.addRemote(name, "2993", "Model-" + name, "");
  r->ip = "127.0.0.2";
  r->hostName = "host-" + name;
  r->setConnStatus(Connected);
  r->setUpsShutdownDelay(delay);
  for (int i = 0; i < kEventCount; ++i) r->setEventStatus(i, Normal);
  return r.get();
}

// Collects what would be pushed.
class RecordingSink : public PushSink {
 public:
  void Advise(const wxString& text) override { texts.push_back(std::string(text.mb_str())); }
  std::vector<std::string> texts;
};
