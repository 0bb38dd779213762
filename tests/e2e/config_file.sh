#!/usr/bin/env bash
# The configuration file of a running agent: the defaults written when there is none, a
# hand-written file loaded and saved back, SIGHUP replacing settings and device tree without
# a word in the event log, and broken files kept aside as Noxguard.conf.bad.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"

# The agent clears its umask itself; a shell without one shows the modes are its own choice.
umask 0
CARD="$BUILD/noxcard"
CTL="$PWD/cards.sock"
command -v xmllint >/dev/null || { echo "FAIL - xmllint (libxml2-utils) is needed to read the file"; exit 1; }

xq() { xmllint --xpath "$1" "${2:-Noxguard.conf}" 2>/dev/null; }
# "name=value" for every child of NOX, in file order (the device tree as its name only).
conf_values() {
  local n i name
  n=$(xq 'count(/NOX/*)') || return 1
  for ((i = 1; i <= n; i++)); do
    name=$(xq "name(/NOX/*[$i])")
    if [ "$name" = RemoteList ]; then echo RemoteList; else echo "$name=$(xq "string(/NOX/*[$i])")"; fi
  done
}
mode_of() { stat -c %a "$1" 2>/dev/null; }
lines() { wc -l < Noxguard.txt 2>/dev/null || echo 0; }
log_count() { local n; n=$(grep -cF -- "$1" Noxguard.txt 2>/dev/null); echo "${n:-0}"; }
warnings() { log_count 'Warning: Noxguard.conf could not be read'; }
started_count() { log_count 'Noxguard start successful'; }
count_grows() { [ "$(log_count "$1")" -gt "$2" ]; }
more_than() { [ "$("$1")" -gt "$2" ]; }  # more_than COUNTER N: polled, so the count is read anew
start_agent() {  # start_agent [ARGS...]: waits for a new start line
  local before
  before=$(started_count)
  "$BUILD/noxguard" "$@"
  wait_until 10 more_than started_count "$before"
}
no_agent() { test -z "$(agent_pids)"; }
halt_agents() {
  local p
  for p in $(agent_pids); do kill -TERM "$p"; done
  wait_until 10 no_agent
}
hup() { kill -HUP "$(agent_pids)"; }
# A settings file as a person would write it: the remotes given as XML, ShutDelay as given.
write_conf() {  # write_conf SHUTDELAY REMOTES_XML
  cat > Noxguard.conf.new <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<NOX>
  <RemoteList>$2</RemoteList>
  <ShutDelay>$1</ShutDelay>
  <Alias>e2e-agent</Alias>
</NOX>
EOF
  mv Noxguard.conf.new Noxguard.conf
}

# --- No file: the defaults and the template are written, readable by the owner only.
check "agent starts without a configuration file" start_agent
check "the file is created" test -f Noxguard.conf
check "file mode 0600 under umask 0 (got $(mode_of Noxguard.conf))" test "$(mode_of Noxguard.conf)" = 600
check "a missing file is not kept as .bad" test ! -e Noxguard.conf.bad
check "no warning for a missing file" test "$(warnings)" -eq 0
check "no temporary file left beside it" test -z "$(ls Noxguard.conf.?????? 2>/dev/null)"
check "the document element is NOX" test "$(xq 'name(/*)')" = NOX
check "template remote with an empty name" \
  test "$(xq 'count(/NOX/RemoteList/Remote[@name="" and @serv="2993" and @model="" and @powerby="Master"])')" = 1
check "template cluster with an empty name holding one such remote" \
  test "$(xq 'count(/NOX/RemoteList/Cluster[@name=""]/Remote[@name="" and @serv="2993" and @powerby="Master"])')" = 1
check "Alias holds the host's name" test -n "$(xq 'string(/NOX/Alias)')"
expected="RemoteList
AcFail=1
BatteryLow=1
Overload=0
OverTp=0
EMPTp=0
EMPHum=0
EMPCt1=0
EMPCt2=0
WSS=1
SSS=1
Capacity=1
RemainTime=1
LS1=1
LS2=1
Alias=$(xq 'string(/NOX/Alias)')
CancelIf=0
ShutDelay=0
EnableScript=0
EnableUserRun=0
Script=
MaxScriptTime=60
Action=1
Pwd=$(printf qolvy | base64)
Lang=en-us
ServerUDPPort=3034"
got=$(conf_values)
check "default settings in file order" test "$got" = "$expected"
[ "$got" = "$expected" ] || diff <(echo "$expected") <(echo "$got")

# --- SIGHUP: the file's settings and tree replace the running ones, and the reload itself
# writes nothing to the log. A card answering the queries of the new remote brings
# "Connect to"; ShutDelay 400 against the card's own 300 s brings the unreasonable-delay line.
"$CARD" --addr 127.0.0.1 --count 2 --layout addrs --port 4100 --control "$CTL" --no-stdin \
  --query-log queries.log 2>cards.err &
wait_until 10 test -S "$CTL"
write_conf 400 '<Remote name="127.0.0.1" serv="4100"/>'
cp Noxguard.conf edited.conf
before=$(lines)
hup
check "after SIGHUP the new remote is queried and connects" wait_until 10 log_has "Connect to 127.0.0.1"
check "after SIGHUP ShutDelay 400 is in force" \
  wait_until 5 log_has "127.0.0.1: The UPS shutdown delay (300)s isn't greater than the setting time (400)s"
sleep 1.2
new_lines=$(tail -n +"$((before + 1))" Noxguard.txt | sed -E 's/^\[[^]]*\]: //' | sort)
check "nothing but those two lines was logged around the reload" test "$new_lines" = \
  "$(printf '%s\n' "127.0.0.1: The UPS shutdown delay (300)s isn't greater than the setting time (400)s" "Connect to 127.0.0.1" | sort)"
check "the reload leaves a valid file as it is" cmp -s edited.conf Noxguard.conf
halt_agents

# --- A hand-written file is read at start and written back whole with the bound port.
cat > Noxguard.conf <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<NOX>
  <RemoteList>
    <Remote name="127.0.0.1" serv="4100" model="RM-1" powerby="LS1"/>
    <Cluster name="rack">
      <Remote name="127.0.0.2" serv="4100" model="" powerby="bogus"/>
    </Cluster>
  </RemoteList>
  <Overload>1</Overload>
  <Alias>e2e-agent</Alias>
  <ShutDelay>30</ShutDelay>
  <MaxScriptTime>oops</MaxScriptTime>
  <Action>2</Action>
  <Pwd>c2VjcmV0</Pwd>
  <ServerUDPPort>3040</ServerUDPPort>
</NOX>
EOF
chmod 0644 Noxguard.conf
check "agent starts with a hand-written file" start_agent
check "a valid file is not kept as .bad" test ! -e Noxguard.conf.bad
check "its settings are saved back" \
  test "$(xq 'concat(/NOX/Overload,"|",/NOX/Alias,"|",/NOX/ShutDelay,"|",/NOX/MaxScriptTime,"|",/NOX/Action,"|",/NOX/Pwd,"|",/NOX/ServerUDPPort)')" \
  = "1|e2e-agent|30|60|2|c2VjcmV0|3040"
check "its stand-alone remote is saved back" \
  test "$(xq 'count(/NOX/RemoteList/Remote[@name="127.0.0.1" and @serv="4100" and @model="RM-1" and @powerby="LS1"])')" = 1
check "its cluster is saved back, an unknown powerby as Master" \
  test "$(xq 'count(/NOX/RemoteList/Cluster[@name="rack"]/Remote[@name="127.0.0.2" and @powerby="Master"])')" = 1
check "no template beside a real tree" test "$(xq 'count(//Remote[@name=""])')" = 0
check "the saved file is owner-only again" test "$(mode_of Noxguard.conf)" = 600

# --- SIGHUP replaces the tree rather than adding to it (trace lines need debug mode).
halt_agents
write_conf 0 '<Remote name="127.0.0.1" serv="4100"/>'
start_agent -d
check "debug: the first remote is watched" wait_until 10 log_has "Start to watch 127.0.0.1"
check "debug: and connects" wait_until 10 log_has "Connect to 127.0.0.1"
before=$(log_count "Receive remote 127.0.0.1 package")
"$CARD" --send-control "$CTL" notify 0 >/dev/null
check "its notification is taken as its own" wait_until 5 count_grows "Receive remote 127.0.0.1 package" "$before"
write_conf 0 '<Remote name="127.0.0.2" serv="4100"/>'
hup
check "after SIGHUP the other remote is watched" wait_until 10 log_has "Start to watch 127.0.0.2"
check "and connects" wait_until 10 log_has "Connect to 127.0.0.2"
"$CARD" --send-control "$CTL" notify 0 >/dev/null
check "the removed remote is now an unknown host" \
  wait_until 5 log_has "Receive data from unknown host: 127.0.0.1:4100"
halt_agents

# --- Broken files: each is kept aside byte for byte, the defaults replace it, a warning
# follows, and the agent runs. Every broken file also asks for ShutDelay 30, which must not
# survive. The .bad of one case is overwritten by the next.
broken_unclosed() { printf '<?xml version="1.0"?>\n<NOX>\n  <ShutDelay>30</ShutDelay>\n'; }
broken_other_root() { printf '<?xml version="1.0"?>\n<Config><ShutDelay>30</ShutDelay></Config>\n'; }
broken_empty() { :; }
broken_binary() { printf '\0\377\376<NOX>'; head -c 4096 /dev/urandom; }
# Well-formed, but beyond any real configuration file.
broken_huge() {
  printf '<?xml version="1.0"?>\n<NOX><ShutDelay>30</ShutDelay><Script>'
  head -c 50000000 /dev/zero | tr '\0' a
  printf '</Script></NOX>\n'
}
for kind in unclosed other_root empty binary huge; do
  before=$(warnings)
  if [ "$kind" = binary ]; then
    # The same rule holds on SIGHUP, for a file replaced under a running agent.
    start_agent
    "broken_$kind" > Noxguard.conf
    cp Noxguard.conf original.conf
    hup
  else
    "broken_$kind" > Noxguard.conf
    cp Noxguard.conf original.conf
    check "$kind: the agent starts" start_agent
  fi
  check "$kind: warning logged" wait_until 5 more_than warnings "$before"
  check "$kind: kept byte for byte as Noxguard.conf.bad" cmp -s original.conf Noxguard.conf.bad
  check "$kind: .bad is owner-only" test "$(mode_of Noxguard.conf.bad)" = 600
  check "$kind: replaced by the defaults" \
    test "$(xq 'concat(name(/*),"|",/NOX/ShutDelay,"|",count(/NOX/RemoteList/Remote[@name=""]))')" = "NOX|0|1"
  check "$kind: the new file is owner-only" test "$(mode_of Noxguard.conf)" = 600
  check "$kind: the agent runs" test -n "$(agent_pids)"
  halt_agents
done
check "the warning line reads as a warning" grep -qE \
  '^\[[0-9/]{10} [0-9:]{8}\]: Warning: Noxguard.conf could not be read; it was kept as Noxguard.conf.bad and replaced by the defaults$' \
  Noxguard.txt
rm -f original.conf Noxguard.conf.bad

"$CARD" --send-control "$CTL" quit >/dev/null
finish
