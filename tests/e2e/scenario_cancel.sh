#!/usr/bin/env bash
# With CancelIf on, utility power that returns during the shutdown delay cancels the
# sequence; once the delay is over the host is committed and a restoration changes nothing.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

# The script keeps the sequence in its script period long enough to restore power there.
cat > slow.sh <<'EOF'
#!/bin/sh
sleep 3
touch "$(dirname "$0")/script-ran"
EOF
chmod 755 slow.sh

conf_begin
conf_remote 127.0.0.1
conf_set ShutDelay 4 CancelIf 1 EnableScript 1 Script "$PWD/slow.sh" MaxScriptTime 8
conf_end
start_cards 1
start_agent
check "card connected" wait_until 10 all_connected 127.0.0.1

# Power fails, then returns within the delay.
card event 0 AcFail on
check "the sequence is entered" wait_log 5 "Cluster shutdown check decide to enter shutdown sequence"
check "the delay is announced" wait_until 3 grep -qxF "wall| System will be Shutdown after (4)s delay" "$NOX_FAKE_LOG"
check "communication stays on during the delay" log_lacks "Stop commnunication at the beginning of shutdown delay"
card event 0 AcFail off
check "the restoration cancels the sequence" wait_log 3 "Restore from shutdown sequence"
check "the decision to restore is traced" log_has "Cluster shutdown check decide to restore from shutdown sequence"
check "the restoration is logged" log_has "127.0.0.1: Utility power has restored"
sleep 4.5  # past the end of the cancelled delay
check "no action after the cancel" log_lacks "System start"
check "no power-off after the cancel" test "$(init_calls)" -eq 0
check "no script after the cancel" test ! -e script-ran
check "communication was never stopped" log_lacks "Stop commnunication"
check "agent still running" alive "$AGENT_PID"

# Power fails again and returns only after the delay, in the script period.
card event 0 AcFail on
check "a new failure enters the sequence again" \
  wait_until 5 log_count_is "Cluster shutdown check decide to enter shutdown sequence" 2
check "communication stops when the delay ends" wait_log 7 "Stop commnunication at the end of shutdown sequence"
check "the script period has begun" wait_log 2 "Execute script: $PWD/slow.sh"
card event 0 AcFail off
check "the power-off still happens" wait_until 8 powered_off
check "the script ran before the power-off" test -e script-ran
check "the late restoration cancelled nothing" test "$(log_count 'Restore from shutdown sequence')" -eq 1
check "Shutdown is announced" log_has "System start Shutdown"
check "the agent stops" wait_until 5 gone "$AGENT_PID"

finish
