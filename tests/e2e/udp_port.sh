#!/usr/bin/env bash
# The agent's UDP port: it starts from the saved port, moves on past busy ones within its
# range, saves the port it got at every start, and queries its cards from there.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"

CARD="$BUILD/noxcard"
CTL="$PWD/card.sock"

log_count() { local n; n=$(grep -cF -- "$1" Noxguard.txt 2>/dev/null); echo "${n:-0}"; }
count_grows() { [ "$(log_count "$1")" -gt "$2" ]; }
no_agent() { test -z "$(agent_pids)"; }
start_agent() {  # waits for a new start line
  local before
  before=$(log_count "Noxguard start successful")
  "$BUILD/noxguard"
  wait_until 10 count_grows "Noxguard start successful" "$before"
}
halt_agents() {
  local p
  for p in $(agent_pids); do kill -TERM "$p"; done
  wait_until 10 no_agent
}
saved_port() { sed -n 's:.*<ServerUDPPort>\(.*\)</ServerUDPPort>.*:\1:p' Noxguard.conf; }
set_saved_port() { sed -i "s:<ServerUDPPort>.*</ServerUDPPort>:<ServerUDPPort>$1</ServerUDPPort>:" Noxguard.conf; }
# Sockets of the agent on PORT, one line per family.
agent_sockets() { ss -Hulnp "sport = :$1" 2>/dev/null | grep -c '"noxguard"'; }
# A card simulator bound to the IPv6 wildcard is dual-stack: it holds the port for both
# families, as any other program listening on all addresses would.
hold_ports() {  # hold_ports FIRST COUNT: the holder's pid goes to HOLDER
  "$CARD" --addr :: --port "$1" --count "$2" --no-stdin >/dev/null 2>&1 &
  HOLDER=$!
}
holding() { [ "$(ss -Huln "sport = :$1" | wc -l)" -ge 1 ]; }
release() { kill "$HOLDER" 2>/dev/null; wait "$HOLDER" 2>/dev/null; }

"$CARD" --addr 127.0.0.1 --port 4100 --control "$CTL" --no-stdin --query-log queries.log 2>card.err &
wait_until 10 test -S "$CTL"
cat > Noxguard.conf <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<NOX>
  <RemoteList><Remote name="127.0.0.1" serv="4100"/></RemoteList>
  <Alias>e2e-agent</Alias>
</NOX>
EOF

# --- 3034 busy on both families: the agent takes 3035, says so, saves it and uses it.
hold_ports 3034 1
check "port 3034 is held" wait_until 5 holding 3034
check "agent starts beside the busy port" start_agent
check "it reports port 3035" log_has "Noxguard bind udp port 3035"
check "it saved port 3035 (got $(saved_port))" test "$(saved_port)" = 3035
check "both its sockets are on 3035" test "$(agent_sockets 3035)" -eq 2
check "the card got a query from the agent's port" \
  wait_until 10 grep -q 'addr=127.0.0.1:4100 from=127.0.0.1:3035 silent=no suffix=[^ ]* alias=e2e-agent$' queries.log
dump() { "$CARD" --send-control "$CTL" dump; }
queried() { dump | grep -qE '^card=0 .* queries=[1-9][0-9]* answered=[1-9].* alias=e2e-agent$'; }
check "the card counts the query and its answer" wait_until 5 queried
check "the answer reached the agent on its port" wait_until 5 log_has "Connect to 127.0.0.1"
halt_agents
release

# --- Every start begins at the saved port, and saves what it got.
before=$(log_count "Noxguard bind udp port 3035")
start_agent
check "a free saved port 3035 is kept" count_grows "Noxguard bind udp port 3035" "$before"
check "and saved again" test "$(saved_port)" = 3035
halt_agents
for case in "3033 3034" "3084 3034" "3060 3060" "junk 3034"; do
  read -r asked got <<<"$case"
  set_saved_port "$asked"
  before=$(log_count "Noxguard bind udp port $got")
  start_agent
  check "saved port $asked gives $got" count_grows "Noxguard bind udp port $got" "$before"
  check "saved port $asked: $got is saved" test "$(saved_port)" = "$got"
  check "saved port $asked: the agent listens on $got" test "$(agent_sockets "$got")" -eq 2
  halt_agents
done

# --- The last port of the range is busy: the search wraps around to the first.
hold_ports 3083 1
check "port 3083 is held" wait_until 5 holding 3083
set_saved_port 3083
start_agent
check "busy 3083 wraps around to 3034" test "$(saved_port)" = 3034 -a "$(agent_sockets 3034)" -eq 2
halt_agents
release

# --- The whole range busy: no start, the port 0 is saved, and the next start recovers.
hold_ports 3034 50
check "the whole range 3034-3083 is held" wait_until 5 holding 3083
"$BUILD/noxguard"
check "the bind failure is logged as an error" \
  wait_until 5 grep -qE '^\[[0-9/]{10} [0-9:]{8}\]: Error: Create communication server failed$' Noxguard.txt
check "the agent does not run" wait_until 5 no_agent
check "port 0 is saved" test "$(saved_port)" = 0
release
check "the next start binds 3034 again" start_agent
check "and saves it" test "$(saved_port)" = 3034
halt_agents

"$CARD" --send-control "$CTL" quit >/dev/null
finish
