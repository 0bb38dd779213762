#include "render.h"

#include <cstdio>
#include <sstream>

#include "helper/msg_helper.h"

namespace noxctl {

namespace {

constexpr long long kNoDelay = 65535;

std::string event_name(int code) {
  return code >= 0 && code < NOXMsgHelper::kEventTexts ? NOXMsgHelper::event_names[code]
                                                       : "event " + std::to_string(code);
}

std::string connection_name(int status) {
  return status >= 0 && status < NOXMsgHelper::kConnectTexts ? NOXMsgHelper::connect_names[status]
                                                             : "status " + std::to_string(status);
}

std::string delay_text(long long delay) {
  return delay == kNoDelay ? std::string("unknown") : std::to_string(delay) + " s";
}

std::string join_names(const std::vector<int>& codes) {
  std::string out;
  for (int c : codes) out += (out.empty() ? "" : ", ") + event_name(c);
  return out;
}

// Events that are not plainly normal: "Ac Fail: Warning; Battery Low: Shutting".
std::string events_text(const std::string& digits) {
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const int s = digits[i] - '0';
    if (s != 2 && s != 3) continue;
    out += (out.empty() ? "" : "; ") + event_name(static_cast<int>(i)) + ": " + NOXMsgHelper::status_names[s];
  }
  return out.empty() ? "no warnings" : out;
}

std::string json_codes(const std::vector<int>& codes) {
  std::string out = "[";
  for (std::size_t i = 0; i < codes.size(); ++i) out += (i ? "," : "") + std::to_string(codes[i]);
  return out + "]";
}

void status_lines(const ipc::ClusterReport& c, const std::string& indent, std::ostringstream& out) {
  std::size_t r = 0, k = 0;
  for (bool is_remote : c.order) {
    if (is_remote) {
      const ipc::RemoteReport& x = c.remotes[r++];
      out << indent << x.name << "\n"
          << indent << "  Device Mode: " << x.model << "\n"
          << indent << "  IP Address: " << x.ip << "\n"
          << indent << "  Host Name: " << x.host_name << "\n"
          << indent << "  Connection Status: " << x.connection << "\n"
          << indent << "  Shutdown Status: " << x.shutdown_status << "\n"
          << indent << "  UPS Shutdown Delay: " << x.ups_shutdown_delay << "\n";
    } else {
      const ipc::ClusterReport& sub = c.clusters[k++];
      out << indent << "Cluster" << (sub.name.empty() ? "" : " " + sub.name)
          << (sub.order.empty() ? " (no members)" : "") << "\n";
      status_lines(sub, indent + "  ", out);
    }
  }
}

std::string remote_json(const ipc::RemoteReport& r) {
  std::string delay = "null";
  if (!r.ups_shutdown_delay.empty() && r.ups_shutdown_delay.back() == 's')
    delay = r.ups_shutdown_delay.substr(0, r.ups_shutdown_delay.size() - 1);
  return "{\"name\":" + json_string(r.name) + ",\"model\":" + json_string(r.model) + ",\"ip\":" + json_string(r.ip) +
         ",\"host_name\":" + (r.host_name == "Unknown" ? std::string("null") : json_string(r.host_name)) +
         ",\"connection\":" + json_string(r.connection) + ",\"shutdown_status\":" + json_string(r.shutdown_status) +
         ",\"ups_shutdown_delay\":" + delay + "}";
}

std::string cluster_json(const ipc::ClusterReport& c) {
  std::string remotes, clusters;
  for (const auto& r : c.remotes) remotes += (remotes.empty() ? "" : ",") + remote_json(r);
  for (const auto& k : c.clusters) {
    clusters += (clusters.empty() ? "" : ",") + std::string("{\"name\":") +
                (k.name.empty() ? std::string("null") : json_string(k.name)) + "," + cluster_json(k) + "}";
  }
  return "\"remotes\":[" + remotes + "],\"clusters\":[" + clusters + "]";
}

}  // namespace

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string status_text(const ipc::ClusterReport& tree) {
  if (tree.order.empty()) return "No remotes are configured.\n";
  std::ostringstream out;
  status_lines(tree, "", out);
  return out.str();
}

std::string status_json(const ipc::ClusterReport& tree) { return "{" + cluster_json(tree) + "}\n"; }

std::string time_stamp(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

std::string push_line(const std::string& body, std::time_t when) {
  ipc::PushReport p;
  std::string what;
  if (!ipc::read_push(body, p)) {
    what = body;
  } else if (p.kind == ipc::PushReport::RemoteInfo) {
    what = p.name + ": " + connection_name(p.connection) + ", UPS shutdown delay " + delay_text(p.delay) +
           ", power source " + std::to_string(p.power) + ", " + events_text(p.events) +
           (p.ip.empty() ? "" : ", ip " + p.ip) + (p.host_name.empty() ? "" : ", host " + p.host_name);
  } else if (p.kind == ipc::PushReport::RemoteMsg) {
    what = p.name + ": ";
    if (!p.restored.empty()) what += "restored " + join_names(p.restored) + "; ";
    if (!p.changed.empty()) what += "changed " + join_names(p.changed) + "; ";
    if (p.restored.empty() && p.changed.empty()) what += "reported, nothing changed; ";
    what += events_text(p.events) + ", UPS shutdown delay " + delay_text(p.delay);
  } else if (p.kind == ipc::PushReport::ShutSeq) {
    switch (p.stage) {
      case 0: what = "shutdown sequence left: the events were restored"; break;
      case 1: what = "shutdown sequence entered"; break;
      case 2: what = "shutdown delay: " + std::to_string(p.seconds) + " s left"; break;
      case 3: what = "shutdown script running: " + std::to_string(p.seconds) + " s left"; break;
      default: what = "script period over: the protective action follows"; break;
    }
  } else {
    what = "no answer from ";
    for (std::size_t i = 0; i < p.names.size(); ++i) what += (i ? ", " : "") + p.names[i];
  }
  return time_stamp(when) + "  " + what + "\n";
}

std::string push_json(const std::string& body, std::time_t when) {
  ipc::PushReport p;
  std::string out = "{\"time\":" + json_string(time_stamp(when));
  if (!ipc::read_push(body, p)) return out + ",\"kind\":\"other\",\"text\":" + json_string(body) + "}\n";
  const std::string delay = p.delay == kNoDelay ? std::string("null") : std::to_string(p.delay);
  switch (p.kind) {
    case ipc::PushReport::RemoteInfo:
      out += ",\"kind\":\"remote_info\",\"name\":" + json_string(p.name) +
             ",\"connection\":" + std::to_string(p.connection) + ",\"ups_shutdown_delay\":" + delay +
             ",\"power_source\":" + std::to_string(p.power) + ",\"events\":" + json_string(p.events) +
             ",\"ip\":" + json_string(p.ip) + ",\"host_name\":" + json_string(p.host_name);
      break;
    case ipc::PushReport::RemoteMsg:
      out += ",\"kind\":\"remote_msg\",\"name\":" + json_string(p.name) + ",\"ups_shutdown_delay\":" + delay +
             ",\"power_source\":" + std::to_string(p.power) + ",\"events\":" + json_string(p.events) +
             ",\"restored\":" + json_codes(p.restored) + ",\"changed\":" + json_codes(p.changed);
      break;
    case ipc::PushReport::ShutSeq:
      out += ",\"kind\":\"shut_seq\",\"stage\":" + std::to_string(p.stage);
      if (p.has_seconds) out += ",\"seconds\":" + std::to_string(p.seconds);
      break;
    default: {
      std::string names;
      for (const auto& n : p.names) names += (names.empty() ? "" : ",") + json_string(n);
      out += ",\"kind\":\"timeout\",\"names\":[" + names + "]";
    }
  }
  return out + "}\n";
}

}  // namespace noxctl
