// What the control commands need from the rest of the agent. The application implements
// it; tests and the fuzz target use fakes.
#pragma once

#include <functional>
#include <string>

class Cluster;
class NOXConfig;

class ControlHost {
 public:
  virtual ~ControlHost() = default;

  // The settings and the root of the device tree. Both may be replaced by a reload, and
  // other threads use them: call these, and use what they return, only while holding
  // tree_mutex (jobs run with it held).
  virtual NOXConfig& config() = 0;
  virtual Cluster& root() = 0;

  // The working directory recorded at start, ending in "/". Fixed for the run.
  virtual std::string base_dir() const = 0;

  // Hands a job to the main thread, which runs it later under tree_mutex. Callable from
  // any thread, with or without tree_mutex held (tree_mutex comes before the job lock).
  virtual void post_job(std::function<void()> job) = 0;

  // Forgets the sender's watch entry of a removed remote. Called with tree_mutex held.
  virtual void erase_watch(const std::string& name) = 0;

  // Main-thread work, reached only through post_job, so tree_mutex is held:
  virtual void rebuild_query_block() = 0;     // from the Alias setting
  virtual void push_remote_info() = 0;        // one "remote_info:" push per remote of the tree
  virtual void save_config_job() = 0;         // settings and tree to the configuration file
  virtual void cluster_shutdown_check() = 0;  // the shutdown decision on the whole tree
  virtual void shut() = 0;                    // the protective action, now
  virtual void request_exit() = 0;            // leave the main loop; the agent stops in order
};
