#!/usr/bin/env bash
# The agent detaches, holds its pid file, refuses a second instance and bad options, and
# stops in order on SIGTERM.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"

# The start command returns at once with status 0 while the daemon runs on.
start=$(date +%s%N)
"$BUILD/noxguard"; rc=$?
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "start returns 0 (got $rc)" test "$rc" -eq 0
check "start returns at once (${elapsed_ms} ms)" test "$elapsed_ms" -lt 2000
check "daemon runs" wait_until 5 some_agent
pid=$(agent_pids)
check "pid file holds the daemon's pid ($pid)" wait_until 5 pid_file_holds "$pid"
check "pid file has no newline" test "$(wc -l < /run/NOXService.pid)" -eq 0
check "pid file mode 0644" test "$(stat -c %a /run/NOXService.pid)" = 644
check "detached into another session" test "$(ps -o sid= -p "$pid" | tr -d ' ')" != "$(ps -o sid= -p $$ | tr -d ' ')"
check "no controlling terminal" test "$(ps -o tty= -p "$pid" | tr -d ' ')" = "?"
check "descriptors 0-2 on /dev/null" test "$(readlink /proc/$pid/fd/0)" = /dev/null
check "works in the directory it was started from" test "$(readlink /proc/$pid/cwd)" = "$PWD"
check "start line in the event log" wait_until 5 log_has "Noxguard start successful"

# A second start detaches, finds the lock held and exits; the first keeps running.
"$BUILD/noxguard"; rc=$?
check "second start's shell returns 0 at once" test "$rc" -eq 0
sleep 0.5
check "still exactly one agent" test "$(agent_pids)" = "$pid"
check "pid file unchanged" test "$(pid_from_file)" = "$pid"

# SIGTERM: orderly stop.
kill -TERM "$pid"
check "agent ends after SIGTERM" wait_until 5 gone "$pid"
check "stop line in the event log" log_has "User exit Noxguard"
check "pid file is left in place" test -f /run/NOXService.pid

# Options: -d and --debug start it, anything else does not.
for opt in -d --debug; do
  "$BUILD/noxguard" "$opt"
  check "starts with $opt" wait_until 5 some_agent
  stop_agents
done
for opt in --help -h -x --verbose extra-argument "-d extra"; do
  # shellcheck disable=SC2086
  "$BUILD/noxguard" $opt
  sleep 0.7
  check "does not start with '$opt'" test -z "$(agent_pids)"
  stop_agents
done

# A running agent is untouched by a bad start.
"$BUILD/noxguard"
wait_until 5 some_agent
pid=$(agent_pids)
"$BUILD/noxguard" --help
sleep 0.5
check "running agent untouched by a bad start" test "$(agent_pids)" = "$pid" -a "$(pid_from_file)" = "$pid"
stop_agents

# Started from another directory, it works there.
mkdir -p other && (cd other && "$BUILD/noxguard")
check "runs from another directory" wait_until 5 some_agent
pid=$(agent_pids)
check "its cwd is that directory" test "$(readlink /proc/$pid/cwd)" = "$PWD/other"
check "its event log is there" wait_until 5 test -f other/Noxguard.txt
stop_agents

# A pid file that cannot be opened: no start.
rm -f /run/NOXService.pid && mkdir /run/NOXService.pid
"$BUILD/noxguard"
sleep 0.7
check "no start when the pid file cannot be opened" test -z "$(agent_pids)"
rmdir /run/NOXService.pid

finish
