#!/usr/bin/env bash
# A stand-alone card decides alone: events that are not accepted (Overload and the like by
# default) stay warnings however long they last, while a low battery on that one card
# powers the host off even though the cluster beside it is well.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

conf_begin
conf_cluster rack 127.0.0.1 127.0.0.2
conf_remote 127.0.0.3
conf_set ShutDelay 0 CancelIf 0
conf_end
start_cards 3
start_agent
check "all three cards connected" wait_until 10 all_connected 127.0.0.1 127.0.0.2 127.0.0.3

# Events that would shut down if they were accepted.
for ev in "Overload:UPS Overload" "OverTp:UPS Over Temperature" "EMPCt1:EMP Contact1 Alarm"; do
  card event 2 "${ev%%:*}" on
  check "${ev%%:*} is logged as an unaccepted shutting event" \
    wait_log 5 "Unaccepted shutting message from 127.0.0.3, reason: ${ev#*:}"
  check "${ev%%:*} is logged as a warning" log_has "Warning message from 127.0.0.3, reason: ${ev#*:}"
done
# The same events reported again: nothing new is logged, still no sequence.
before=$(handled_from 127.0.0.3)
card notify 2
sleep 1.2
card notify 2
check "the repeated notifications are handled" wait_until 5 handled_at_least 127.0.0.3 $((before + 2))
sleep 0.5  # the decision follows in the same tick
check "a lasting unaccepted event is logged once" \
  test "$(log_count 'Unaccepted shutting message from 127.0.0.3, reason: UPS Overload')" -eq 1
check "unaccepted events never enter the sequence" log_lacks "Cluster shutdown check decide to enter"
check "unaccepted events never power off" test "$(init_calls)" -eq 0
check "agent still running" alive "$AGENT_PID"

# A low battery on the stand-alone card: the cluster's members are normal, yet it decides.
card event 2 BatteryLow on
check "the low battery is a shutting event" wait_log 5 "Shutting message from 127.0.0.3, reason: Battery Low"
check "the sequence is entered" wait_log 3 "Cluster shutdown check decide to enter shutdown sequence"
check "without a delay communication stops at entry" log_has "Stop commnunication at the beginning of shutdown delay"
check "Shutdown is announced" wait_log 3 "System start Shutdown"
check "the power-off command ran" wait_until 5 powered_off
check "no delay announcement without a delay" test "$(wall_calls)" -eq 0
check "the agent stops" wait_until 5 gone "$AGENT_PID"
check "its stop line follows" log_has "User exit Noxguard"

finish
