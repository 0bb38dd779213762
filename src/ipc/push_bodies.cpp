#include "ipc/push_bodies.h"

#include "helper/push_sink.h"
#include "ipc/text_split.h"
#include "logger/log_ops.h"
#include "model/tree.h"

namespace {

std::string code_list(const std::vector<int>& codes) {
  std::vector<std::string> parts;
  parts.reserve(codes.size());
  for (int c : codes) parts.push_back(std::to_string(c));
  return ipc::join_escaped(parts, '.');
}

}  // namespace

std::string remote_info_text(const Remote& r) {
  return "remote_info:" + r.name + "(" + std::to_string(r.getConnStatus()) + "," +
         std::to_string(r.getUpsShutdownDelay()) + "," + std::to_string(r.getPowerSource()) + "," +
         r.eventStatusText() + "," + r.getIp() + "," + r.getHostName();
}

std::string remote_msg_text(const Remote& r, const std::vector<int>& restored, const std::vector<int>& changed) {
  const std::vector<std::string> fields = {std::to_string(r.getUpsShutdownDelay()),
                                           std::to_string(r.getPowerSource()), r.eventStatusText(),
                                           code_list(restored), code_list(changed)};
  return "remote_msg:" + r.name + "(" + ipc::join_escaped(fields, ',');
}

std::string shut_seq_text(int stage) { return "shut_seq:" + std::to_string(stage); }

std::string shut_seq_text(int stage, long long seconds) { return shut_seq_text(stage) + std::to_string(seconds); }

std::string timeout_text(const std::vector<std::string>& names) { return "timeout:" + ipc::join_escaped(names, ','); }

void push_remote_info(const Cluster& cluster, PushSink& sink) {
  for (const auto& child : cluster.children) {
    if (child->isRemote())
      sink.Advise(to_wide(remote_info_text(static_cast<const Remote&>(*child))));
    else
      push_remote_info(static_cast<const Cluster&>(*child), sink);
  }
}
