// libFuzzer target over the control commands: the request splitter, the dispatcher and the
// tree edits, against a stand-in for the application, plus the readers of reports and push
// texts. Any broken rule aborts. Built and run by scripts/fuzz.
//
// The input is up to 16 request bodies separated by newlines, run in order on a fresh
// small tree, so sequences (add, move, remove, rename) are reached. A line that starts
// with a byte below 0x20 has that byte replaced by a known command head, so the
// dispatcher's deeper paths are reached without guessing keywords.
#include <wx/init.h>
#include <wx/log.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "helper/noxconfig.h"
#include "ipc/control_commands.h"
#include "ipc/control_host.h"
#include "ipc/report_reader.h"
#include "ipc/status_reports.h"
#include "logger/log_ops.h"
#include "model/tree.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

class Host : public ControlHost {
 public:
  explicit Host(NOXConfig& cfg) : cfg_(cfg) {
    tree.addRemote("ups1", "2993", "M", "");
    ClusterPtr a = tree.addCluster("A");
    a->addRemote("ups2", "2993", "M", "LS1");
    ClusterPtr b = a->addCluster("B");
    b->addRemote("ups3", "", "M", "LS2");
    tree.addCluster("C");
  }
  NOXConfig& config() override { return cfg_; }
  Cluster& root() override { return tree; }
  std::string base_dir() const override { return "/srv/"; }
  void post_job(std::function<void()> job) override { jobs.push_back(std::move(job)); }
  void erase_watch(const std::string&) override {}
  void rebuild_query_block() override {}
  void push_remote_info() override {}
  void save_config_job() override {}
  void cluster_shutdown_check() override {}
  void shut() override {}
  void request_exit() override {}

  Non_Cluster tree{"", nullptr};
  std::vector<std::function<void()>> jobs;

 private:
  NOXConfig& cfg_;
};

const char* const kHeads[] = {
    "get.remote.ip(",        "get.remote.ups_shut_delay(", "get.all_rt_info",      "get.protect_setting",
    "get.cfg.pwd",           "set.cfg.shutdelay)",         "set.cfg.max_script_time)", "set.cfg.action)",
    "set.cfg.accept)",       "set.cfg.alias)",             "set.remote.type(",     "set.remote.power(",
    "fn.cluster.add(",       "fn.cluster.add_remote(",     "fn.cluster.add_cluster(", "fn.cluster.remove(",
    "fn.cluster.set_name(",  "save_config",                "face_exit",            "run_at_debug_mode",
    "save_complete",         "get.exec_path",              "set.cfg.enable_script)", "set.cfg.pwd)",
};

std::string expand(const std::string& line) {
  if (line.empty() || static_cast<unsigned char>(line[0]) >= 0x20) return line;
  const std::size_t n = sizeof kHeads / sizeof kHeads[0];
  return kHeads[static_cast<unsigned char>(line[0]) % n] + line.substr(1);
}

// Every child points back at its cluster and no node is met twice: still a tree.
void check_tree(const Cluster& c, std::set<const IRemote*>& seen) {
  require(seen.insert(&c).second);
  for (const auto& child : c.children) {
    require(child && child->parent == &c);
    if (child->isRemote())
      require(seen.insert(child.get()).second);
    else
      check_tree(static_cast<const Cluster&>(*child), seen);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wxInitialize();
  wxLog::EnableLogging(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NOXConfig* cfg = new NOXConfig;  // built once: its default alias asks the resolver
  const std::string input(reinterpret_cast<const char*>(data), size);

  Host host(*cfg);
  ControlCommands commands(host);
  std::size_t start = 0;
  for (int n = 0; n < 16 && start <= input.size(); ++n) {
    std::size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    const std::string body = expand(input.substr(start, end - start));
    start = end + 1;

    const std::string answer = commands.OnRequest(body);
    if (body.compare(0, 3, "get") != 0) require(answer == "0" || answer == "1");
    require(!bNeedDelete.load());
    std::set<const IRemote*> seen;
    check_tree(host.tree, seen);
    debug_mode = false;
  }
  {
    wxMutexLocker lock(tree_mutex);
    for (auto& job : host.jobs) job();
    // The report of whatever tree came out reads back without a fault.
    ipc::read_full_status_report(full_status_report(host.tree));
  }
  ipc::read_full_status_report(input);
  ipc::PushReport p;
  ipc::read_push(input, p);
  return 0;
}
