#!/usr/bin/env bash
# Action 2 with a working hibernation: the host sleeps, the agent wakes up watching again,
# holds its decision for the quiet time after waking, and then protects the host anew.
set -uo pipefail
SANDBOX_OPTS=(--hibernate-status 0)
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

conf_begin
conf_remote 127.0.0.1
conf_set ShutDelay 0 CancelIf 0 Action 2
conf_end
start_cards 1
start_agent
check "card connected" wait_until 10 all_connected 127.0.0.1

card event 0 AcFail on
check "Sleep is announced" wait_log 5 "System start Sleep"
check "the hibernation command ran" wait_until 3 fake_count_is pm-hibernate 1
slept_at=$(awk '$2 == "pm-hibernate" { print int($1); exit }' "$NOX_FAKE_LOG")
sleep 2.5  # the agent pauses after waking
check "the agent is still running" alive "$AGENT_PID"
check "no power-off after a good sleep" test "$(init_calls)" -eq 0
check "no failure reported" log_lacks "Execute protect action failed"
check "communication was never stopped" log_lacks "Stop commnunication"

# Shortly after waking the card still reports the failure: no decision yet.
before=$(handled_from 127.0.0.1)
card notify 0
check "a notification after waking is handled" wait_until 5 handled_at_least 127.0.0.1 $((before + 1))
sleep 0.5
check "no new sequence in the quiet time after waking" test "$(fake_calls pm-hibernate)" -eq 1

# Past the quiet time the same state protects the host again.
until [ "$(date +%s)" -ge $((slept_at + 19)) ]; do sleep 0.2; done
card notify 0
check "watching again: the lasting failure starts a new sequence" \
  wait_until 5 fake_count_is pm-hibernate 2
check "the second sequence was decided anew" \
  log_count_is "Cluster shutdown check decide to enter shutdown sequence" 2
check "still no power-off" test "$(init_calls)" -eq 0

finish
