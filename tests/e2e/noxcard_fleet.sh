#!/usr/bin/env bash
# The card simulator on its own: a fleet of a thousand cards answers queries, and commands
# change what the cards report, step by step, as a test of the agent would drive them.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"

CARD="$BUILD/noxcard"
CTL="$PWD/cards.sock"
ctl() { "$CARD" --send-control "$CTL" "$@"; }
probe() { "$CARD" --probe "$@" --alias e2e-host --timeout 2000; }

check "--help documents the commands and the client mode" \
  bash -c "'$CARD' --help | grep -q -- '--send-control' && '$CARD' --help | grep -q 'event <cards> <event> on|off'"

"$CARD" --count 1000 --port 5000 --control "$CTL" --no-stdin --query-log queries.log 2>fleet.err &
fleet=$!
check "the fleet opens its control socket" wait_until 10 test -S "$CTL"
check "all 1000 cards answer one query each" bash -c "'$CARD' --probe 127.0.0.1:5000 --count 1000 --alias e2e-host >all.out"
check "every card recorded its query" test "$(grep -c 'alias=e2e-host' queries.log)" -eq 1000

# A power failure, one step at a time, on the first two cards.
ctl event 0-1 AcFail on >/dev/null
out=$(probe 127.0.0.1:5000 --count 2)
check "utility failure reported by both cards" test "$(grep -c 'events=AcFail ' <<<"$out")" -eq 2
ctl event 0-1 BatteryLow on >/dev/null
ctl event 0-1 AcFail off >/dev/null
out=$(probe 127.0.0.1:5000 --count 2)
check "after restoration only the low battery remains" test "$(grep -c 'events=BatteryLow ' <<<"$out")" -eq 2
ctl warn 1 Capacity 40 >/dev/null
ctl delay 1 60 >/dev/null
ctl source 1 1 >/dev/null
out=$(probe 127.0.0.1:5001)
check "warning, delay and source reach the notification" \
  grep -q 'from=127.0.0.1:5001 events=BatteryLow warn=Capacity:40 delay=60 source=1' <<<"$out"

ctl silent 1 >/dev/null
probe 127.0.0.1:5000 --count 2 >silent.out
check "a silent card does not answer" grep -q 'answers=1 of 2' silent.out
ctl resume 1 >/dev/null
check "a resumed card answers again" bash -c "'$CARD' --probe 127.0.0.1:5000 --count 2 --alias e2e-host >/dev/null"
check "queries are kept per card" bash -c "'$CARD' --send-control '$CTL' queries 1 | grep -c 'alias=e2e-host' | grep -qx 6"
check "dump shows one line per card" test "$(ctl dump | grep -c '^card=')" -eq 1000

check "an unknown command is refused" bash -c "'$CARD' --send-control '$CTL' fly away | grep -q '^error: unknown command'; test \${PIPESTATUS[0]} -eq 1"
check "an unknown card is refused" bash -c "'$CARD' --send-control '$CTL' event 1000 AcFail on | grep -q '^error: no such card'"
check "an unknown event is refused" bash -c "! '$CARD' --send-control '$CTL' event 0 Flood on >/dev/null"

# Unsolicited notifications: a second simulator stands in for the agent; what it gets is no
# query, so it counts the datagrams as invalid.
AGENT="$PWD/agent.sock"
"$CARD" --port 6000 --control "$AGENT" --no-stdin 2>/dev/null &
"$CARD" --port 6100 --count 3 --agent 127.0.0.1:6000 --notify-on-change --control "$PWD/push.sock" \
  --no-stdin 2>/dev/null &
wait_until 10 test -S "$PWD/push.sock"
wait_until 10 test -S "$AGENT"
"$CARD" --send-control "$PWD/push.sock" notify all >/dev/null
"$CARD" --send-control "$PWD/push.sock" event 2 OverTp on >/dev/null
check "notifications reach the agent address" \
  wait_until 5 bash -c "'$CARD' --send-control '$AGENT' dump | grep -q 'invalid=4 '"

check "quit ends the fleet" bash -c "'$CARD' --send-control '$CTL' quit | grep -qx ok"
check "the fleet is gone" wait_until 5 gone "$fleet"
check "its control socket is removed" test ! -e "$CTL"
finish
