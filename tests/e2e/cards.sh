# Helpers of the scenario tests: write a Noxguard.conf, run a fleet of simulated cards,
# start the agent and read what it did. Source after lib.sh, once inside the sandbox.
# Every predicate here looks again on each call, so it can be given to wait_until.
# shellcheck shell=bash

CARDS_SOCK="$PWD/cards.sock"
CARD_PORT=2993

# --- configuration ------------------------------------------------------------------
# conf_begin; conf_cluster NAME ADDR...; conf_remote ADDR; conf_set NAME VALUE...; conf_end
# Remotes are named by their address; every card listens on CARD_PORT.
conf_begin() { CONF_TREE=""; CONF_SETTINGS=""; }
conf_remote() {
  CONF_TREE+="<Remote name=\"$1\" serv=\"$CARD_PORT\" model=\"m\" powerby=\"Master\"/>"
}
conf_cluster() {
  local name="$1" addr; shift
  CONF_TREE+="<Cluster name=\"$name\">"
  for addr in "$@"; do CONF_TREE+="<Remote name=\"$addr\" serv=\"$CARD_PORT\" model=\"m\" powerby=\"Master\"/>"; done
  CONF_TREE+="</Cluster>"
}
conf_set() {  # conf_set Name value [Name value...]
  while [ $# -ge 2 ]; do CONF_SETTINGS+="<$1>$2</$1>"; shift 2; done
}
conf_end() {
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<NOX><RemoteList>%s</RemoteList>%s</NOX>\n' \
    "$CONF_TREE" "$CONF_SETTINGS" > Noxguard.conf
}

# --- cards --------------------------------------------------------------------------
# start_cards COUNT [noxcard options...]: COUNT cards on 127.0.0.1, 127.0.0.2, ... port
# CARD_PORT. Each change made through `card` is sent to the agent at once.
start_cards() {
  local count="$1"; shift
  "$BUILD/noxcard" --layout addrs --addr 127.0.0.1 --port "$CARD_PORT" --count "$count" \
    --control "$CARDS_SOCK" --no-stdin --notify-on-change "$@" 2>cards.err &
  CARDS_PID=$!
  wait_until 10 test -S "$CARDS_SOCK" || { echo "card simulator did not start"; cat cards.err; exit 1; }
}
# card COMMAND...: a command to the fleet (event, warn, delay, silent, resume, notify...).
card() { "$BUILD/noxcard" --send-control "$CARDS_SOCK" "$@" >/dev/null; }
# card_addr I: the address of card I (0-based) of a fleet started by start_cards.
card_addr() { local a=$(( $1 + 1 )); echo "127.0.$(( a >> 8 & 255 )).$(( a & 255 ))"; }

# --- agent --------------------------------------------------------------------------
# start_agent: the agent in debug mode, in this directory; waits until it is up.
start_agent() {
  "$BUILD/noxguard" -d
  wait_until 10 log_has "Noxguard start successful" || { fail "agent started"; finish; }
  AGENT_PID=$(agent_pids)
}

# --- event log ----------------------------------------------------------------------
wait_log() { wait_until "$1" log_has "$2"; }  # wait_log SECONDS TEXT
log_lacks() { ! log_has "$1"; }
log_count() { cat Noxguard.txt 2>/dev/null | grep -cF -- "$1"; }  # lines holding TEXT
log_count_is() { [ "$(log_count "$1")" -eq "$2" ]; }
# logged_before A B: the first line holding A comes before the first line holding B.
line_of() { grep -nF -- "$1" Noxguard.txt 2>/dev/null | head -1 | cut -d: -f1; }
logged_before() {
  local a b
  a=$(line_of "$1"); b=$(line_of "$2")
  [ -n "$a" ] && [ -n "$b" ] && [ "$a" -lt "$b" ]
}
all_connected() {  # every card named was reported connected
  local a
  for a in "$@"; do log_has "Connect to $a" || return 1; done
}
# handled_from ADDR: how many notifications of that card the agent has decoded (debug mode).
handled_from() { cat Noxguard.txt 2>/dev/null | grep -cxF -- " from $1"; }
handled_at_least() { [ "$(handled_from "$1")" -ge "$2" ]; }

# --- recorded commands --------------------------------------------------------------
fake_calls() { cat "$NOX_FAKE_LOG" 2>/dev/null | awk -v n="$1" '$2 == n' | wc -l; }
fake_count_is() { [ "$(fake_calls "$1")" -eq "$2" ]; }
init_calls() { fake_calls init; }
wall_calls() { fake_calls wall; }
powered_off() { grep -qE '^[0-9.]+ init 0$' "$NOX_FAKE_LOG" 2>/dev/null; }
# wall_message N: the lines of the Nth wall call (1 = first), without the "wall| " prefix.
wall_message() {
  awk -v n="$1" '
    /^wall\| / { if (calls == n) { sub(/^wall\| /, ""); print } ; next }
    $2 == "wall" { calls++ }
  ' "$NOX_FAKE_LOG"
}
# wall_is N EXPECTED: wall message N reads EXPECTED, where a line "When: *" stands for the
# time stamp line (any time in the form 2013-05-14 09:41:07).
wall_is() {
  local actual
  actual=$(wall_message "$1" | sed -E 's/^When: [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$/When: */')
  [ "$actual" = "$2" ] && return 0
  printf 'wall message %s was:\n%s\n' "$1" "$actual" >&2
  return 1
}

# --- control client -----------------------------------------------------------------
# ctl_field NAME FIELD: a remote's field as `noxctl status --json` reports it
# (connection, shutdown_status, ups_shutdown_delay, ...).
ctl_field() {
  "$BUILD/noxctl" status --json 2>/dev/null | grep -oE "\"name\":\"${1//./\\.}\"[^}]*" |
    sed -E "s/.*\"$2\":\"?([^\",]*)\"?.*/\\1/"
}
ctl_shows() { [ "$(ctl_field "$1" "$2")" = "$3" ]; }  # ctl_shows NAME FIELD VALUE
# ctl_count FIELD VALUE: how many remotes the control client shows with that value.
ctl_count() { "$BUILD/noxctl" status --json 2>/dev/null | grep -oF "\"$1\":\"$2\"" | wc -l; }
ctl_count_is() { [ "$(ctl_count "$1" "$2")" -eq "$3" ]; }
