// The two multi-line reports of the control channel, shown by the user interface as they
// stand. Lines are joined with newlines; a newline inside a line gets a backslash first.
#pragma once

#include <string>

class Cluster;
class NOXConfig;

// Accepted events, cancel rule, delay, script and action: 22 lines, 24 with the script on.
std::string protect_setting_report(const NOXConfig& cfg);

// Every remote below the cluster, eight lines each; a child cluster adds its own report
// as one line (so its newlines gain one more backslash per level). The caller holds
// tree_mutex.
std::string full_status_report(const Cluster& cluster);
