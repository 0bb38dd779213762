#include "ipc/control_commands.h"

#include <wx/string.h>

#include <cstdint>
#include <functional>
#include <tuple>
#include <vector>

#include "helper/noxconfig.h"
#include "helper/parse_u32.h"
#include "ipc/control_host.h"
#include "ipc/status_reports.h"
#include "ipc/text_split.h"
#include "logger/log_ops.h"
#include "model/tree.h"

namespace {

// verb.section.property(argument
struct Item {
  std::string verb, section, property, argument;
};

Item split_item(const std::string& item) {
  Item it;
  std::string name, rest;
  std::tie(name, it.argument) = ipc::split_first(item, '(');
  std::tie(it.verb, rest) = ipc::split_first(name, '.');
  std::tie(it.section, it.property) = ipc::split_first(rest, '.');
  return it;
}

wxString w(const std::string& s) { return to_wide(s); }

// Every name below a cluster, at any depth.
void collect_names(const Cluster& c, std::vector<std::string>& names) {
  for (const auto& child : c.children) {
    names.push_back(child->name);
    if (!child->isRemote()) collect_names(static_cast<const Cluster&>(*child), names);
  }
}

}  // namespace

std::string ControlCommands::OnRequest(const std::string& body) {
  if (ipc::starts_with(body, "get")) return OnGet(body);
  if (ipc::starts_with(body, "set") || ipc::starts_with(body, "fn")) {
    const auto [item, data] = ipc::split_first(body, ')');
    return OnPoke(item, data) ? "1" : "0";
  }
  return OnExec(ipc::split_first(body, ')').first) ? "1" : "0";
}

std::string ControlCommands::OnGet(const std::string& item) {
  const Item it = split_item(item);
  if (it.verb != "get") return std::string();
  if (it.section == "remote") return RemoteQuery(it.argument, it.property);
  if (it.section == "exec_path") return host_.base_dir();
  if (it.section == "all_rt_info") {
    wxMutexLocker lock(tree_mutex);
    return full_status_report(host_.root());
  }
  if (it.section == "protect_setting") {
    wxMutexLocker lock(tree_mutex);
    return protect_setting_report(host_.config());
  }
  if (it.section == "cfg" && it.property == "pwd") {
    wxMutexLocker lock(tree_mutex);
    return host_.config().pwd();
  }
  return std::string();
}

std::string ControlCommands::RemoteQuery(const std::string& argument, const std::string& property) {
  const auto [name, parameter] = ipc::split_first(argument, ',');
  std::string answer;
  {
    wxMutexLocker lock(tree_mutex);
    const Remote* r = host_.root().findRemote(name);
    if (!r) return std::string();
    if (property == "hostname")
      answer = r->getHostName();
    else if (property == "ip")
      answer = r->getIp();
    else if (property == "shutstatus")
      answer = r->eventStatusText();
    else if (property == "commstatus")
      answer = std::to_string(r->getConnStatus());
    else if (property == "ups_shut_delay")
      answer = std::to_string(r->getUpsShutdownDelay());
  }
  log_debug(wxString::Format("IPC(Server): get remote %s's property %s with parameter %s return %s", w(name),
                             w(property), w(parameter), w(answer)));
  return answer;
}

bool ControlCommands::OnPoke(const std::string& item, const std::string& data) {
  const Item it = split_item(item);
  log_debug(wxString::Format("IPC(Server): OnPoke, item: %s, data: %s", w(item), w(data)));
  if (it.verb == "set") {
    if (it.section == "remote") return SetRemote(it.argument, it.property, data);
    if (it.section == "cfg") return SetConfig(it.property, data);
    return false;
  }
  if (it.verb == "fn" && it.section == "cluster") return EditTree(it.argument, it.property, data);
  return false;
}

bool ControlCommands::SetRemote(const std::string& name, const std::string& property, const std::string& data) {
  bool ok = false;
  bool changed = false;
  {
    wxMutexLocker lock(tree_mutex);
    if (Remote* r = host_.root().findRemote(name)) {
      if (property == "type") {
        ok = r->setModel(data);
        changed = true;
      } else if (property == "power") {
        ok = r->setPowerBy(data);
        changed = true;
      }
    }
  }
  if (changed) host_.post_job([h = &host_] { h->save_config_job(); });
  log_debug(wxString::Format("IPC(Server): set remote %s's property %s with parameter %s, return %d", w(name),
                             w(property), w(data), ok ? 1 : 0));
  return ok;
}

bool ControlCommands::SetConfig(const std::string& property, const std::string& data) {
  ControlHost* h = &host_;
  bool ok = false;
  std::function<void()> job;
  {
    wxMutexLocker lock(tree_mutex);
    NOXConfig& cfg = host_.config();
    uint32_t n = 0;
    if (property == "alias") {
      ok = cfg.set_alias(data);
      job = [h] { h->rebuild_query_block(); };
    } else if (property == "shutdelay") {
      ok = parse_u32(data, n) && n != UINT32_MAX && cfg.set_shut_delay(n);
    } else if (property == "enable_script") {
      ok = parse_u32(data, n) && cfg.set_enable_script(n == 1);
    } else if (property == "enable_user_run") {
      ok = parse_u32(data, n) && cfg.set_enable_user_run(n == 1);
    } else if (property == "ignore_restore") {
      ok = parse_u32(data, n) && cfg.set_cancel_if(n == 1);
    } else if (property == "script") {
      ok = cfg.set_script(data);
    } else if (property == "max_script_time") {
      ok = parse_u32(data, n) && n != UINT32_MAX && cfg.set_max_script_time(n);
    } else if (property == "action") {
      ok = parse_u32(data, n) && n <= 2 && cfg.set_action(static_cast<int32_t>(n));
      if (ok && n != 0) job = [h] { h->cluster_shutdown_check(); };
    } else if (property == "accept") {
      const std::vector<std::string> parts = ipc::split_escaped(data, ',');
      uint32_t code = 0;
      ok = parts.size() == 2 && parse_u32(parts[0], code) && parse_u32(parts[1], n) &&
           code < static_cast<uint32_t>(kEventCount) && cfg.set_event_accept(static_cast<int>(code), n == 1);
      if (ok && n == 1) job = [h] { h->cluster_shutdown_check(); };
    } else if (property == "lang") {
      ok = cfg.set_lang(data);
      job = [h] { h->save_config_job(); };
    } else if (property == "pwd") {
      ok = cfg.set_pwd(data);
      job = [h] { h->save_config_job(); };
    }
  }
  if (ok && job) host_.post_job(std::move(job));
  log_debug(wxString::Format("IPC(Server): set property %s of configuration class with data %s, return %d",
                             w(property), w(data), ok ? 1 : 0));
  return ok;
}

bool ControlCommands::EditTree(const std::string& cluster, const std::string& operation, const std::string& data) {
  bool ok = false;
  {
    wxMutexLocker lock(tree_mutex);
    Cluster& root = host_.root();
    Cluster* target = cluster.empty() ? &root : root.findCluster(cluster);
    if (target) {
      if (operation == "add") {
        // attach refuses a move under the node itself or below it: the tree stays a tree.
        IRemote* node = root.find(data);
        ok = node && target->attach(node);
      } else if (operation == "add_remote") {
        const std::vector<std::string> p = ipc::split_escaped(data, ',');
        ok = p.size() == 4 && target->addRemote(p[0], p[1], p[2], p[3]) != nullptr;
      } else if (operation == "add_cluster") {
        ok = target->addCluster(data) != nullptr;
      } else if (operation == "remove") {
        ok = Remove(*target, data);
      } else if (operation == "set_name") {
        target->name = data;
        ok = true;
      }
    }
  }
  host_.post_job([h = &host_] { h->save_config_job(); });
  return ok;
}

// tree_mutex held.
bool ControlCommands::Remove(Cluster& target, const std::string& name) {
  // Every watch entry of what goes, not only the direct children: a remote in a nested
  // cluster would otherwise keep a stale entry that a later remote of that name inherits.
  std::vector<std::string> names;
  if (const Cluster* c = target.findCluster(name))
    collect_names(*c, names);
  else if (const Remote* r = target.findRemote(name))
    names.push_back(r->name);

  bNeedDelete = true;
  const bool ok = target.removeNode(name);
  if (ok) {
    for (const auto& n : names) {
      log_debug("delete timeout watch of " + w(n));
      host_.erase_watch(n);
    }
    host_.post_job([h = &host_] { h->cluster_shutdown_check(); });
  }
  bNeedDelete = false;
  return ok;
}

bool ControlCommands::OnExec(const std::string& command) {
  ControlHost* h = &host_;
  bool ok = true;
  if (command == "save_complete")
    host_.post_job([h] { h->shut(); });
  else if (command == "run_at_debug_mode")
    debug_mode = true;
  else if (command == "save_config")
    host_.post_job([h] { h->save_config_job(); });
  else if (command == "face_exit")
    host_.post_job([h] { h->request_exit(); });
  else
    ok = false;
  log_debug("IPC(Server): OnExec: " + w(command));
  return ok;
}
