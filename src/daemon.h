// Process start: detaching from the terminal and the single-instance pid file.
#pragma once

#include <string>

constexpr const char* kPidFile = "/var/run/NOXService.pid";

// Detaches the process (two forks, new session, descriptors 0-2 on /dev/null, umask 0,
// working directory kept). Returns only in the detached grandchild; failures end the process.
void daemonize(const char* prog);

// 0 when the lock is held and our pid written; 1 when another process holds it. Ends the
// process with status 1 when the file cannot be opened or locked for another reason.
int lock_pid_file(const char* path = kPidFile);

// The program name: the part of argv[0] after its last '/'.
std::string program_name(const char* argv0);
