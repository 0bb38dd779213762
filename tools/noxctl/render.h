// How noxctl shows what the agent says: the status report as indented text or JSON, and
// each push as one time-stamped line.
#pragma once

#include <ctime>
#include <string>

#include "ipc/report_reader.h"

namespace noxctl {

std::string json_string(const std::string& s);

std::string status_text(const ipc::ClusterReport& tree);
std::string status_json(const ipc::ClusterReport& tree);

// "YYYY-MM-DD HH:MM:SS" in local time.
std::string time_stamp(std::time_t t);

// One line per push body (without "push:"), for a person or as a JSON object.
std::string push_line(const std::string& body, std::time_t when);
std::string push_json(const std::string& body, std::time_t when);

}  // namespace noxctl
