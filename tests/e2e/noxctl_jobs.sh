#!/usr/bin/env bash
# Control commands that hand work to the main thread as jobs, which run with the tree lock
# already held: the shutdown decision after Action changes, the protective action on
# request, and leaving the agent.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

ctl() { "$BUILD/noxctl" "$@"; }
init_zero() { grep -q ' init 0$' "$NOX_FAKE_LOG" 2>/dev/null; }

# 1. Action 0 only reports; switching it to 1 while the card still reports a failure enters
#    the sequence at the next tick that runs jobs.
conf_begin
conf_remote 127.0.0.1
conf_set ShutDelay 0 CancelIf 0 Action 0
conf_end
start_cards 1
start_agent
check "card connected" wait_until 10 all_connected 127.0.0.1
card event 0 AcFail on
check "the failure is seen" wait_log 5 "Shutting message from 127.0.0.1"
sleep 2
check "Action 0: no sequence" bash -c '! grep -q "Enter shutdown sequence" Noxguard.txt'
check "set action 1" ctl set action 1
check "the decision job enters the sequence" wait_log 5 "Cluster shutdown check decide to enter shutdown sequence"
check "and the host is powered off" wait_until 5 init_zero
check "the agent ends" wait_until 10 no_agents
kill "$CARDS_PID" 2>/dev/null; wait "$CARDS_PID" 2>/dev/null
rm -f Noxguard.txt "$NOX_FAKE_LOG" cards.sock

# 2. protect-now runs the action at once, whatever the cards say.
conf_begin
conf_remote 127.0.0.1
conf_set Action 1
conf_end
start_cards 1
start_agent
check "protect-now is accepted" ctl protect-now --yes
check "the action runs" wait_log 5 "System start Shutdown"
check "init 0 recorded" wait_until 5 init_zero
check "the agent ends" wait_until 10 no_agents
kill "$CARDS_PID" 2>/dev/null; wait "$CARDS_PID" 2>/dev/null
rm -f Noxguard.txt "$NOX_FAKE_LOG" cards.sock

# 3. exit leaves the main loop: an orderly stop, no action.
start_cards 1
start_agent
check "exit is accepted" ctl exit
check "orderly stop" wait_log 10 "User exit Noxguard"
check "no action" bash -c '! grep -q "System start" Noxguard.txt'
check "no power-off" test "$(init_calls)" -eq 0
finish
