#!/usr/bin/env bash
# A thousand stand-alone cards: each is connected by its first answer (none is taken for a
# stranger and queried again), and one card's power failure among them still powers the
# host off.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

N=1000
conf_begin
for ((i = 0; i < N; i++)); do conf_remote "$(card_addr $i)"; done
conf_set ShutDelay 0 CancelIf 0
conf_end
start_cards $N --query-log queries.log
start_agent

check "all $N cards connected" wait_until 20 ctl_count_is connection Connected $N
check "every answer came from a watched card" log_lacks "Receive data from unknown host"
check "one query each was enough" test "$(wc -l < queries.log)" -eq $N
check "each connection logged once" test "$(log_count 'Connect to 127.0.')" -eq $N

last=$(card_addr $((N - 1)))
card event $((N - 1)) AcFail on
check "the last card's failure is seen" wait_log 5 "Shutting message from $last, reason: Ac Fail"
check "the host is powered off" wait_until 5 powered_off
check "the agent stops" wait_until 5 gone "$AGENT_PID"

finish
