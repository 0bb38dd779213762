#!/usr/bin/env bash
# The script period's limits: a script that outlives MaxScriptTime is not waited for, and
# a Script setting that is not one existing file runs nothing and delays nothing.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

cat > long.sh <<'SCRIPT'
#!/bin/sh
date +%s.%N > "$(dirname "$0")/long-started"
sleep 30
SCRIPT
chmod 755 long.sh

start_cards 1

# start_run SCRIPT_SETTING: a fresh agent with that script, the card reporting normal.
start_run() {
  rm -f Noxguard.txt "$NOX_FAKE_LOG"
  card event 0 AcFail off
  conf_begin
  conf_remote 127.0.0.1
  conf_set ShutDelay 0 CancelIf 0 EnableScript 1 Script "$1" MaxScriptTime 3
  conf_end
  start_agent
  check "card connected" wait_until 10 all_connected 127.0.0.1
}

# A script longer than the limit.
start_run "$PWD/long.sh"
card event 0 AcFail on
check "the script is started" wait_log 5 "Execute script: $PWD/long.sh"
check "the period is cut at the limit" wait_log 6 "Execute script period forcely ended"
check "the power-off follows" wait_until 3 powered_off
check "not before the limit" \
  awk -v s="$(cat long-started 2>/dev/null)" '$2 == "init" { d = $1 - s; ok = (s != "" && d >= 2.5 && d < 6) } END { exit !ok }' "$NOX_FAKE_LOG"
check "the agent stops" wait_until 5 gone "$AGENT_PID"
check "the script is still running, not killed" pgrep -f "$PWD/long.sh" >/dev/null

# A script setting with an argument names no file: the action follows at once.
start_run "$PWD/long.sh now"
rm -f long-started
card event 0 AcFail on
check "the power-off follows at once" wait_until 5 powered_off
check "no script was started" log_lacks "Execute script:"
check "no script announcement" test "$(wall_calls)" -eq 0
check "the script did not run" test ! -e long-started
check "the agent stops" wait_until 5 gone "$AGENT_PID"

finish
