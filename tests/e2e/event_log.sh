#!/usr/bin/env bash
# The event log of a running agent: its own start and stop lines with their time stamps,
# the file's mode, records of other threads reaching the file while the agent idles, a log
# that cannot be written, and the trimming to about a thousand lines.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"

umask 0
STAMP='^\[[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\]: '

log_count() { local n; n=$(grep -cF -- "$1" Noxguard.txt 2>/dev/null); echo "${n:-0}"; }
count_grows() { [ "$(log_count "$1")" -gt "$2" ]; }
agent_up() { test -n "$(agent_pids)"; }
no_agent() { test -z "$(agent_pids)"; }
start_agent() {  # start_agent [ARGS...]: waits for a new start line
  local before
  before=$(log_count "Noxguard start successful")
  "$BUILD/noxguard" "$@"
  wait_until 10 count_grows "Noxguard start successful" "$before"
}
halt_agents() {
  local p
  for p in $(agent_pids); do kill -TERM "$p"; done
  wait_until 10 no_agent
}
# Seconds between the time stamp of the last line holding TEXT and now.
stamp_age() {
  local line stamp
  line=$(grep -F -- "$1" Noxguard.txt | tail -1)
  stamp=$(sed -E 's/^\[([^]]*)\].*/\1/' <<<"$line")
  echo $(( $(date +%s) - $(date -d "$stamp" +%s) ))
}
fresh_dir() { cd "$NOX_WORK" && rm -rf "$1" && mkdir "$1" && cd "$1" || exit 1; }

# --- Start and stop lines, with their time stamps, in a file readable by all.
fresh_dir plain
check "agent starts" start_agent
check "start line with its time stamp" grep -qE "${STAMP}Noxguard start successful\$" Noxguard.txt
check "bind line with its time stamp" grep -qE "${STAMP}Noxguard bind udp port 3034\$" Noxguard.txt
age=$(stamp_age "Noxguard start successful")
check "the time stamp is the local time of the record (age ${age} s)" test "$age" -ge 0 -a "$age" -le 5
check "log mode 0644 under umask 0 (got $(stat -c %a Noxguard.txt))" test "$(stat -c %a Noxguard.txt)" = 644
check "no trace lines without debug mode" test "$(wc -l < Noxguard.txt)" -eq 2
check "the agent stops" halt_agents
check "stop line with its time stamp, last" bash -c "tail -1 Noxguard.txt | grep -qE '${STAMP}User exit Noxguard\$'"

# --- Records of the sender thread reach the file while the agent is otherwise idle: the
# remote has no card behind it, so nothing on the main thread logs. The first query goes
# out at once, the next ones every 5 s while the card stays silent.
fresh_dir idle
cat > Noxguard.conf <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<NOX><RemoteList><Remote name="127.0.0.1" serv="4999"/></RemoteList></NOX>
EOF
start_agent -d
check "sender trace 'Start to watch' arrives" wait_until 5 log_has "Start to watch 127.0.0.1"
check "sender trace 'Send data to' arrives" wait_until 5 log_has "Send data to 127.0.0.1"
check "a later query of the idle agent arrives too" wait_until 8 count_grows "Send data to 127.0.0.1" 1
age=$(stamp_age "Send data to 127.0.0.1")
# The stamp is the second of the call; the one-second flush may add up to about one more.
check "it was written about a second after it was logged (age ${age} s)" test "$age" -le 2
check "nothing from the main thread in between" \
  test -z "$(grep -vE 'Start to watch|Send data to|Set the 127.0.0.1|Updata query data|bind udp port|start successful' Noxguard.txt)"
halt_agents

# --- A log that cannot be written does not keep the agent from running or stopping.
fresh_dir blocked
mkdir Noxguard.txt
"$BUILD/noxguard"
check "agent runs with the log a directory" wait_until 5 test -f Noxguard.conf
check "it saved its bound port" wait_until 5 grep -q '<ServerUDPPort>3034</ServerUDPPort>' Noxguard.conf
sleep 0.5
check "it is still running" agent_up
check "it stops on SIGTERM" halt_agents
check "the directory is left as it was" test -d Noxguard.txt -a -z "$(ls -A Noxguard.txt)"

# --- Trimming: a file at 1000 lines loses its oldest 100 with the agent's first line.
fresh_dir trim
seq -f 'old line %g' 1 1000 > Noxguard.txt
start_agent
n=$(wc -l < Noxguard.txt)
check "the file is near 1000 lines after the start ($n)" test "$n" -gt 900 -a "$n" -le 1000
check "the oldest 100 lines were dropped, once" test "$(head -1 Noxguard.txt)" = "old line 101"
check "the rest of the old lines is kept in order" \
  bash -c "head -900 Noxguard.txt | cmp -s - <(seq -f 'old line %g' 101 1000)"
check "the start line follows them" bash -c "tail -1 Noxguard.txt | grep -q 'Noxguard start successful'"
halt_agents
check "lines after the trim land in the trimmed file" bash -c "tail -1 Noxguard.txt | grep -q 'User exit Noxguard'"
check "the trimmed file keeps mode 0644" test "$(stat -c %a Noxguard.txt)" = 644
check "no temporary file left beside it" test -z "$(ls Noxguard.txt.?????? 2>/dev/null)"

# In debug mode the file only grows.
fresh_dir trim_debug
seq -f 'old line %g' 1 1000 > Noxguard.txt
start_agent -d
check "debug mode: nothing dropped" test "$(head -1 Noxguard.txt)" = "old line 1"
check "debug mode: the file grows past 1000 lines" test "$(wc -l < Noxguard.txt)" -gt 1000
halt_agents

finish
