#!/usr/bin/env bash
# A power-off command that fails is reported, and the agent still ends its run: it does not
# go on watching a host it has given up.
set -uo pipefail
SANDBOX_OPTS=(--init-status 1)
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

conf_begin
conf_remote 127.0.0.1
conf_set ShutDelay 0 CancelIf 0 Action 1
conf_end
start_cards 1
start_agent
check "card connected" wait_until 10 all_connected 127.0.0.1

card event 0 BatteryLow on
check "Shutdown is announced" wait_log 5 "System start Shutdown"
check "the power-off command ran" wait_until 3 powered_off
check "its failure is logged" wait_log 3 "Execute protect action failed"
check "the agent stops all the same" wait_until 5 gone "$AGENT_PID"
check "its stop line follows the failure" logged_before "Execute protect action failed" "User exit Noxguard"
check "power-off was tried once, without retry" test "$(init_calls)" -eq 1

finish
