#!/usr/bin/env bash
# What the logged-in users are told, word for word: a card's too short shutdown delay, an
# event warning and its restoration, then the delay and script announcements of a
# sequence whose script runs before the host is powered off. No message file stays behind.
set -uo pipefail
SANDBOX_OPTS=()
source "$(dirname "$0")/lib.sh"
enter_sandbox "$@"
source "$E2E_DIR/cards.sh"

cat > marker.sh <<'SCRIPT'
#!/bin/sh
date +%s.%N > "$(dirname "$0")/script-ran"
SCRIPT
chmod 755 marker.sh

# setting time = ShutDelay + MaxScriptTime = 2 + 5 = 7 s
conf_begin
conf_remote 127.0.0.1
conf_set ShutDelay 2 CancelIf 0 EnableScript 1 Script "$PWD/marker.sh" MaxScriptTime 5
conf_end
start_cards 1
start_agent
check "card connected" wait_until 10 all_connected 127.0.0.1
check "a delay of 300 s is reasonable" log_lacks "isn't greater than"

# --- the card's own delay against the setting time
unreasonable() { echo "127.0.0.1: The UPS shutdown delay ($1)s isn't greater than the setting time (7)s"; }
card delay 0 5
check "a delay of 5 s is unreasonable" wait_log 5 "$(unreasonable 5)"
before=$(handled_from 127.0.0.1)
card notify 0
check "the same delay reported again is handled" wait_until 5 handled_at_least 127.0.0.1 $((before + 1))
check "... and not reported again" log_count_is "isn't greater than" 1
card delay 0 6
check "another unreasonable delay is reported" wait_log 5 "$(unreasonable 6)"
before=$(handled_from 127.0.0.1)
card delay 0 180
check "a long delay is handled" wait_until 5 handled_at_least 127.0.0.1 $((before + 1))
check "... and not reported" log_count_is "isn't greater than" 2

# --- an event warning (a warning value) and its restoration
card warn 0 Capacity 40
check "the warning is logged" wait_log 5 "Warning message from 127.0.0.1, reason: Battery Capacity Below Limit"
card warn 0 Capacity 0
check "the restoration is logged" wait_log 5 "127.0.0.1: The UPS battery capacity return to normal"

# --- a sequence with a delay and a script
card event 0 AcFail on
check "the power-off follows the script" wait_until 15 powered_off
check "the script period ended with the script" log_has "Execute script period normally ended"
check "the script period was not cut short" log_lacks "Execute script period forcely ended"
check "the script ran" test -s script-ran
check "the script ran before the power-off" \
  awk -v ran="$(cat script-ran 2>/dev/null)" '$2 == "init" { found = 1; ok = (ran != "" && ran + 0 < $1 + 0) } END { exit !(found && ok) }' "$NOX_FAKE_LOG"
check "the agent stops" wait_until 5 gone "$AGENT_PID"

# --- the messages, in order
check "six messages, one wall call each" test "$(wall_calls)" -eq 6
# The name mkstemp made, and nothing else, reaches the shell.
wall_args() { awk '$2 == "wall" { print substr($0, index($0, " wall ") + 6) }' "$NOX_FAKE_LOG"; }
check "wall reads each message from a file made for it" \
  test "$(wall_args | grep -cvxE 'noxwallmsg[A-Za-z0-9]{6}')" -eq 0
check "unreasonable time (5 s)" wall_is 1 "Noxguard Message:
Topic: Unreasonable Time
When: *
Who: 127.0.0.1
What: The UPS shutdown delay (5)s isn't greater than the setting time (7)s"
check "unreasonable time (6 s)" wall_is 2 "Noxguard Message:
Topic: Unreasonable Time
When: *
Who: 127.0.0.1
What: The UPS shutdown delay (6)s isn't greater than the setting time (7)s"
check "event warning" wall_is 3 "Noxguard Message:
Topic: Event Warning
When: *
Who: 127.0.0.1
What: The UPS battery capacity below limit"
check "event restore" wall_is 4 "Noxguard Message:
Topic: Event Restore
When: *
Who: 127.0.0.1
What: The UPS battery capacity return to normal"
check "delay announcement" wall_is 5 "Noxguard Message:
System will be Shutdown after (2)s delay"
check "script announcement" wall_is 6 "Noxguard Message:
Executing script... in (5)s
System will be Shutdown as soon as the script done or the time reached"
check "no message file left behind" test -z "$(find . -maxdepth 1 -name 'noxwallmsg*')"

finish
