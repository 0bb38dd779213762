#!/usr/bin/env bash
# Action 2 where hibernation fails: the agent falls back to powering the host off.
set -uo pipefail
SANDBOX_OPTS=(--hibernate-status 1)
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
check "its failure is logged" wait_log 5 "Sleep fail, system is about to shutdown"
check "the power-off command follows" wait_until 3 powered_off
check "hibernation came first" \
  bash -c "awk '{print \$2}' '$NOX_FAKE_LOG' | grep -E '^(pm-hibernate|init)$' | paste -sd, | grep -qx 'pm-hibernate,init'"
check "the fallback power-off succeeded" log_lacks "Execute protect action failed"
check "the agent stops" wait_until 5 gone "$AGENT_PID"
check "its stop line follows the failure" \
  logged_before "Sleep fail, system is about to shutdown" "User exit Noxguard"

finish
