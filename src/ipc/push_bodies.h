// The texts of status pushes (what follows "push:"), and the full status push.
#pragma once

#include <string>
#include <vector>

class Cluster;
class PushSink;
class Remote;

// "remote_info:" name "(" connection, delay, power source, event status, ip, host name.
std::string remote_info_text(const Remote& r);

// "remote_msg:" name "(" delay, power source, event status, the restored and the changed
// event codes (ascending, "."-separated): what one notification packet did.
std::string remote_msg_text(const Remote& r, const std::vector<int>& restored, const std::vector<int>& changed);

// "shut_seq:" and the stage digit; stages 2 and 3 carry their seconds right after it.
std::string shut_seq_text(int stage);
std::string shut_seq_text(int stage, long long seconds);

// "timeout:" and the names found silent in one pass, ","-separated (a "," in a name is
// escaped with a backslash).
std::string timeout_text(const std::vector<std::string>& names);

// One "remote_info:" push per remote below the cluster, depth first in tree order.
// The caller holds tree_mutex; the sink only queues.
void push_remote_info(const Cluster& cluster, PushSink& sink);
