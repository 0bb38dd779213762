// The simulator's control socket: a Unix stream socket that takes command lines and
// answers each one, and the client that tests use to talk to it.
#pragma once

#include <string>

struct ControlConn {
  int fd = -1;
  std::string in;   // bytes received, not yet a whole line
  std::string out;  // reply bytes not yet written
  bool peer_done = false;  // the client has finished sending
};

// A listening, non-blocking socket at path (a stale file there is replaced); -1 on failure.
int control_listen(const std::string& path, std::string& err);

// Sends command to the simulator listening at path and copies the reply to standard output.
// Waits up to wait_ms for the simulator to appear. Returns the exit status: 0 when the reply
// ends in "ok", 1 when it ends in an error, 2 when no simulator answered.
int control_send(const std::string& path, const std::string& command, int wait_ms);
