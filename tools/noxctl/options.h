// noxctl's command line: global options anywhere, then a command and its arguments.
#pragma once

#include <string>
#include <vector>

namespace noxctl {

constexpr const char* kDefaultSocket = "/opt/nox/nox.ipc";

// Exit statuses, the same for every command.
enum Exit {
  kOk = 0,
  kRefused = 1,     // the agent answered "0", or a value could not be shown
  kUsage = 2,       // the command line was wrong
  kNotRunning = 3,  // no agent listens on the socket
  kAccess = 4,      // the socket or the agent turned us away
  kNoAnswer = 5,    // connected, but no (whole) answer came
};

struct Options {
  std::string socket = kDefaultSocket;
  bool json = false;
  bool yes = false;
  bool help = false;
  bool cluster_given = false;
  std::string cluster;  // --cluster
  int timeout_ms = 5000;
  std::string command;
  std::vector<std::string> args;
};

// False, with a message in error, when the line cannot be read.
bool parse_options(const std::vector<std::string>& argv, Options& out, std::string& error);

}  // namespace noxctl
