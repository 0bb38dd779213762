#!/usr/bin/env bash
# A card that stops answering is reported unreachable once and no longer votes in its
# cluster; when it answers again it is connected again and its vote counts. (The one
# scenario that waits for the silence to be noticed: about 30 s of unanswered queries.)
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

conf_begin
conf_cluster rack 127.0.0.1 127.0.0.2
conf_set ShutDelay 60 CancelIf 1 Action 1
conf_end
start_cards 2
start_agent
check "both members connected" wait_until 10 all_connected 127.0.0.1 127.0.0.2

card silent 1
check "the silent card is reported unreachable" wait_log 45 "Can't connect to 127.0.0.2"
sleep 2  # more passes find it silent
check "the silence is reported once" log_count_is "Can't connect to 127.0.0.2" 1
check "the answering card is not reported" log_lacks "Can't connect to 127.0.0.1"
check "the control client shows it Not Connected" ctl_shows 127.0.0.2 connection "Not Connected"
check "... and the other one Connected" ctl_shows 127.0.0.1 connection Connected
check "silence alone starts no sequence" log_lacks "Cluster shutdown check decide to enter"

# The member that still answers decides for the cluster while the other is silent.
card event 0 AcFail on
check "a lone reporting member's failure enters the sequence" \
  wait_log 5 "Cluster shutdown check decide to enter shutdown sequence"

# The silent member comes back reporting normal: the cluster disagrees again.
card resume 1
check "the card that answers again is connected again" wait_until 10 log_count_is "Connect to 127.0.0.2" 2
check "its normal report cancels the sequence" wait_log 3 "Restore from shutdown sequence"
check "the control client shows it Connected again" ctl_shows 127.0.0.2 connection Connected
check "no power-off" test "$(init_calls)" -eq 0
check "agent still running" alive "$AGENT_PID"

finish
