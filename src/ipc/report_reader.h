// The user interface's reading of the full status report and of push bodies: the
// inverse of status_reports and push_bodies, for tools that show them to a person.
#pragma once

#include <string>
#include <vector>

namespace ipc {

struct RemoteReport {
  std::string name;     // as the agent knows it, without the "[cluster]" suffix
  std::string cluster;  // the suffix's cluster name, empty without one
  std::string model, ip, host_name, connection, shutdown_status, ups_shutdown_delay;
};

struct ClusterReport {
  std::string name;  // taken from its remotes' suffix; empty when none shows it
  std::vector<RemoteReport> remotes;
  std::vector<ClusterReport> clusters;
  // Members in report order: true for a remote, false for a cluster.
  std::vector<bool> order;
};

// Reads a full status report back into its tree. Lines that do not fit the layout end
// the reading of their level; what was read up to there is kept.
ClusterReport read_full_status_report(const std::string& text);

// One push body, split into its fields.
struct PushReport {
  enum Kind { RemoteInfo, RemoteMsg, ShutSeq, Timeout, Other } kind = Other;
  std::string name;
  int connection = -1;       // remote_info only
  long long delay = -1;      // UPS shutdown delay
  long long power = -1;      // power-source value
  std::string events;        // 14 digits
  std::vector<int> restored, changed;  // remote_msg only
  std::string ip, host_name;           // remote_info only
  int stage = -1;            // shut_seq
  long long seconds = 0;     // shut_seq stages 2 and 3
  bool has_seconds = false;
  std::vector<std::string> names;  // timeout
};

// False (kind Other) when the body does not have a known layout.
bool read_push(const std::string& body, PushReport& out);

}  // namespace ipc
