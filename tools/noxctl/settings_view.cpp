#include "settings_view.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "helper/msg_helper.h"
#include "ipc/text_split.h"

namespace noxctl {

namespace {

const char* const kSettings[] = {"alias",           "shutdelay", "enable_script", "enable_user_run",
                                 "ignore_restore",  "script",    "max_script_time", "action",
                                 "accept",          "lang",      "pwd"};

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

bool line_value(const std::vector<std::string>& lines, const std::string& prefix, std::string& value) {
  for (const auto& l : lines)
    if (ipc::starts_with(l, prefix.c_str())) {
      value = l.substr(prefix.size());
      return true;
    }
  return false;
}

std::string drop_seconds(const std::string& v) { return !v.empty() && v.back() == 's' ? v.substr(0, v.size() - 1) : v; }

bool switch_value(const std::string& v, std::string& out) {
  const std::string s = lower(v);
  if (s == "1" || s == "on" || s == "yes" || s == "true" || s == "enable") {
    out = "1";
    return true;
  }
  if (s == "0" || s == "off" || s == "no" || s == "false" || s == "disable") {
    out = "0";
    return true;
  }
  return false;
}

}  // namespace

bool is_setting(const std::string& name) {
  return std::find(std::begin(kSettings), std::end(kSettings), name) != std::end(kSettings);
}

bool setting_from_report(const std::string& report, const std::string& name, int code, std::string& value,
                         std::string& why) {
  const std::vector<std::string> lines = ipc::split_escaped(report, '\n');
  std::string v;
  if (name == "shutdelay" && line_value(lines, "Shutdown delay: ", v)) {
    value = drop_seconds(v);
    return true;
  }
  if (name == "max_script_time" && line_value(lines, "Script max execution time: ", v)) {
    value = drop_seconds(v);
    return true;
  }
  if (name == "script" && line_value(lines, "Script: ", v)) {
    value = v;
    return true;
  }
  if (name == "ignore_restore" && line_value(lines, "Cancel Shutdown if events Restored in Shutdown Delay: ", v)) {
    value = v == "enable" ? "1" : "0";
    return true;
  }
  if (name == "enable_script" && line_value(lines, "Run script before shutdown: ", v)) {
    value = v == "enable" ? "1" : "0";
    return true;
  }
  if (name == "action" && line_value(lines, "Action: ", v)) {
    value = v;
    for (int i = 0; i < NOXMsgHelper::kActionTexts; ++i)
      if (v == NOXMsgHelper::action_names[i]) value = std::to_string(i);
    return true;
  }
  if (name == "accept") {
    value.clear();
    for (int i = 0; i < NOXMsgHelper::kEventTexts; ++i) {
      if (code >= 0 && code != i) continue;
      if (!line_value(lines, std::string(NOXMsgHelper::event_names[i]) + ": ", v)) break;
      value += code >= 0 ? (v == "enable" ? "1" : "0")
                         : std::to_string(i) + " " + NOXMsgHelper::event_names[i] + ": " + v + "\n";
    }
    if (!value.empty()) {
      if (code < 0) value.pop_back();
      return true;
    }
  }
  if (name == "script" || name == "max_script_time")
    why = "the agent shows " + name + " only while the script is enabled";
  else if (name == "alias" || name == "lang" || name == "enable_user_run")
    why = "the agent does not report " + name + " over the control channel (it can only be set)";
  else
    why = "the settings report does not show " + name;
  return false;
}

bool agent_value(const std::string& name, const std::string& value, const std::string& flag, std::string& out,
                 std::string& why) {
  if (name == "enable_script" || name == "enable_user_run" || name == "ignore_restore") {
    if (switch_value(value, out)) return true;
    why = name + " takes on or off (1 or 0)";
    return false;
  }
  if (name == "action") {
    const std::string s = lower(value);
    if (s == "warning" || s == "event-warning" || s == "report") out = "0";
    else if (s == "shutdown" || s == "poweroff") out = "1";
    else if (s == "sleep" || s == "hibernate") out = "2";
    else out = value;  // a number; the agent judges it
    return true;
  }
  if (name == "accept") {
    std::string f;
    if (!switch_value(flag, f)) {
      why = "accept takes an event code (0 to 13) and on or off";
      return false;
    }
    out = value + "," + f;
    return true;
  }
  out = value;
  return true;
}

}  // namespace noxctl
