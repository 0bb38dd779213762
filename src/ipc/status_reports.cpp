#include "ipc/status_reports.h"

#include <vector>

#include "helper/msg_helper.h"
#include "helper/noxconfig.h"
#include "ipc/text_split.h"
#include "model/tree.h"

namespace {

const char* on_off(bool on) { return on ? "enable" : "disable"; }

std::string seconds(uint32_t value) { return std::to_string(value) + "s"; }

template <std::size_t N>
const char* table_text(const std::array<const char*, N>& table, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? table[index] : "Unknown";
}

void add_remote_lines(const Cluster& cluster, const Remote& r, std::vector<std::string>& lines) {
  std::string title = r.name;
  if (!cluster.name.empty()) title += "[" + cluster.name + "]";
  lines.push_back(title);
  lines.push_back("Device Mode: " + r.getModel());
  lines.push_back("IP Address: " + r.getIp());
  lines.push_back("Host Name: " + (r.getHostName().empty() ? std::string("Unknown") : r.getHostName()));
  lines.push_back(std::string("Connection Status: ") + table_text(NOXMsgHelper::connect_names, r.getConnStatus()));
  lines.push_back(std::string("Shutdown Status: ") + table_text(NOXMsgHelper::status_names, r.getShutStatus()));
  const uint32_t delay = r.getUpsShutdownDelay();
  lines.push_back(delay == Remote::kNoDelay ? std::string("UPS Shutdown Delay: Unknown")
                                            : "UPS Shutdown Delay: " + seconds(delay));
  lines.push_back("\n");
}

}  // namespace

std::string protect_setting_report(const NOXConfig& cfg) {
  std::vector<std::string> lines;
  lines.push_back("Event Accepted:");
  for (int code = 0; code < kEventCount; ++code)
    lines.push_back(std::string(NOXMsgHelper::event_names[code]) + ": " + on_off(cfg.is_event_accepted(code)));
  lines.push_back("");
  lines.push_back(std::string("Cancel Shutdown if events Restored in Shutdown Delay: ") + on_off(cfg.cancel_if()));
  lines.push_back("Shutdown delay: " + seconds(cfg.shut_delay()));
  lines.push_back("");
  lines.push_back(std::string("Run script before shutdown: ") + on_off(cfg.enable_script()));
  if (cfg.enable_script()) {
    lines.push_back("Script: " + cfg.script());
    lines.push_back("Script max execution time: " + seconds(cfg.max_script_time()));
  }
  lines.push_back("");
  lines.push_back("Action: " + NOXMsgHelper::action_name_text(cfg.action()));
  return ipc::join_escaped(lines, '\n');
}

std::string full_status_report(const Cluster& cluster) {
  std::vector<std::string> lines;
  for (const auto& child : cluster.children) {
    if (child->isRemote())
      add_remote_lines(cluster, static_cast<const Remote&>(*child), lines);
    else
      lines.push_back(full_status_report(static_cast<const Cluster&>(*child)));
  }
  return ipc::join_escaped(lines, '\n');
}
