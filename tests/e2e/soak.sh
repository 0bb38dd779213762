#!/usr/bin/env bash
# A soak run: cards flapping, a user interface connecting and dropping, SIGHUP every few
# seconds and control commands editing the tree, all at once. The agent must stay up,
# leak no descriptor and leave a configuration file that still loads.
#
#   SOAK_SECONDS (default 60) sets the length.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

seconds=${SOAK_SECONDS:-60}
conf_begin
conf_cluster rack 127.0.0.1 127.0.0.2
conf_remote 127.0.0.3
conf_remote 127.0.0.4
conf_set Action 0   # report only: nothing in this run may end in a protective action
conf_end
cp Noxguard.conf soak-start.conf
start_cards 6
start_agent
check "all configured cards connect" wait_until 15 all_connected 127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4
fds_before=$(ls /proc/"$AGENT_PID"/fd | wc -l)

# One user interface after another, each staying a moment (or reading nothing at all).
ui_loop() {
  while :; do
    timeout 2 "$BUILD/noxctl" watch >/dev/null 2>&1
    "$BUILD/noxctl" status >/dev/null 2>&1
    "$BUILD/noxctl" settings >/dev/null 2>&1
    timeout 1 "$BUILD/noxctl" raw "start:" >/dev/null 2>&1
  done
}
# Cards lose and regain power and go silent and come back.
flap_loop() {
  local i=0
  while :; do
    card event $((i % 4)) AcFail on; sleep 0.3
    card event $((i % 4)) AcFail off
    card warn all Capacity $((i % 7))
    [ $((i % 5)) -eq 0 ] && card silent 3
    [ $((i % 5)) -eq 2 ] && card resume 3
    i=$((i + 1)); sleep 0.2
  done
}
# The tree is edited, saved and reloaded.
edit_loop() {
  local i=0
  while :; do
    "$BUILD/noxctl" add-cluster "c$i" >/dev/null 2>&1
    "$BUILD/noxctl" add-remote 127.0.0.5 2993 m "" --cluster "c$i" >/dev/null 2>&1
    "$BUILD/noxctl" add-remote 127.0.0.6 2993 m "" >/dev/null 2>&1
    sleep 0.5
    "$BUILD/noxctl" move 127.0.0.6 "c$i" >/dev/null 2>&1
    "$BUILD/noxctl" remove 127.0.0.5 >/dev/null 2>&1
    "$BUILD/noxctl" remove "c$i" >/dev/null 2>&1
    [ $((i % 3)) -eq 0 ] && "$BUILD/noxctl" save >/dev/null 2>&1
    i=$((i + 1)); sleep 0.5
  done
}
hup_loop() { while :; do sleep 3; kill -HUP "$AGENT_PID" 2>/dev/null; done; }

ui_loop & ui=$!
flap_loop & flap=$!
edit_loop & edit=$!
hup_loop & hup=$!
sleep "$seconds"
kill "$ui" "$flap" "$edit" "$hup" 2>/dev/null
wait "$ui" "$flap" "$edit" "$hup" 2>/dev/null
pkill -x noxctl 2>/dev/null
card resume all; card event all AcFail off

check "agent survived $seconds s" alive "$AGENT_PID"
sleep 2  # let the last connection close
fds_after=$(ls /proc/"$AGENT_PID"/fd | wc -l)
check "no leaked descriptor (before $fds_before, after $fds_after)" test "$fds_after" -le "$fds_before"
check "no protective action" test "$(init_calls)" -eq 0
check "control channel still answers" bash -c "\"$BUILD/noxctl\" status > final-status.txt"
# The file the run left must still load: reload it and look for the rejected copy.
kill -HUP "$AGENT_PID"; sleep 1
check "configuration file still loads" test ! -e Noxguard.conf.bad
check "agent still up after the last reload" alive "$AGENT_PID"
kill -TERM "$AGENT_PID"
check "orderly stop" wait_until 10 log_has "User exit Noxguard"
finish
