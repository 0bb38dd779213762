#!/usr/bin/env bash
# A cluster of two cards and a stand-alone card. The cluster feeds the host redundantly, so
# one member's power failure is only a warning; when both fail, the host is powered off.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

conf_begin
conf_cluster rack 127.0.0.1 127.0.0.2
conf_remote 127.0.0.3
conf_set ShutDelay 2 CancelIf 0
conf_end
start_cards 3
start_agent

check "all three cards connected" wait_until 10 all_connected 127.0.0.1 127.0.0.2 127.0.0.3
check "each connection logged once" test "$(log_count 'Connect to 127.0.0.')" -eq 3
for a in 127.0.0.1 127.0.0.2 127.0.0.3; do
  check "the control client shows $a Connected" ctl_shows "$a" connection Connected
done

# One member fails: the cluster disagrees, which is a warning and nothing more.
card event 0 AcFail on
check "the failing member's event is logged" wait_log 5 "Shutting message from 127.0.0.1, reason: Ac Fail"
check "its warning line too" log_has "Warning message from 127.0.0.1, reason: Ac Fail"
check "the control client shows the member Shutting" ctl_shows 127.0.0.1 shutdown_status Shutting
check "... and the other member Normal" ctl_shows 127.0.0.2 shutdown_status Normal
sleep 1.5  # the decision runs in the tick that handled the notification; give it one more
check "one member alone does not start the sequence" log_lacks "Cluster shutdown check decide to enter"
check "no power-off for one member" test "$(init_calls)" -eq 0
check "agent still running" alive "$AGENT_PID"

# The stand-alone card reporting normal changes nothing either.
before=$(handled_from 127.0.0.3)
card notify 2
check "the stand-alone card's notification is handled" wait_until 5 handled_at_least 127.0.0.3 $((before + 1))
sleep 0.5  # the decision follows in the same tick
check "a normal stand-alone card starts nothing" test "$(init_calls)" -eq 0

# The second member fails too: the whole cluster asks for the shutdown.
card event 1 AcFail on
check "the sequence is entered" wait_log 5 "Cluster shutdown check decide to enter shutdown sequence"
check "Shutdown is announced" wait_log 6 "System start Shutdown"
check "the power-off command ran (init 0)" wait_until 5 powered_off
check "power-off ran exactly once" test "$(init_calls)" -eq 1
check "the agent stops" wait_until 5 gone "$AGENT_PID"
check "its stop line follows" log_has "User exit Noxguard"
check "start line before the stop line" logged_before "System start Shutdown" "User exit Noxguard"

finish
