# Shared helpers of the end-to-end tests. Source it, then call `enter_sandbox "$@"` first:
# the test re-runs itself inside tests/sandbox, where nothing can reach the real host.
# shellcheck shell=bash

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SANDBOX="$E2E_DIR/../sandbox"
FAILURES=0

enter_sandbox() {
  BUILD=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
  export BUILD
  if [ -z "${NOX_SANDBOX:-}" ]; then
    local self
    self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
    shift
    exec bash "$SANDBOX" "${SANDBOX_OPTS[@]}" -- bash "$self" "$BUILD" "$@"
  fi
}

# wait_until SECONDS COMMAND...: polls every 0.1 s; false when time runs out.
wait_until() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@"; do
    [ "$(date +%s%N)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

pass() { echo "ok - $*"; }
fail() { echo "FAIL - $*"; FAILURES=$((FAILURES + 1)); }
check() {  # check DESCRIPTION COMMAND...
  local what="$1"; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

alive() { [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; }
gone() { ! alive "$1"; }
pid_from_file() { cat /run/NOXService.pid 2>/dev/null; }
# Pids of running agents (zombies excluded).
agent_pids() {
  local p
  for p in $(pgrep -x noxguard || true); do
    [ "$(awk '{print $3}' "/proc/$p/stat" 2>/dev/null)" = Z ] || echo "$p"
  done
}
# Conditions for wait_until: each call looks again.
no_agents() { [ -z "$(agent_pids)" ]; }
some_agent() { [ -n "$(agent_pids)" ]; }
pid_file_holds() { [ "$(pid_from_file)" = "$1" ]; }
log_has() { grep -qF -- "$1" "${2:-Noxguard.txt}" 2>/dev/null; }

stop_agents() {
  local p
  for p in $(agent_pids); do kill -TERM "$p" 2>/dev/null || true; done
  wait_until 10 no_agents || true
}

finish() {
  stop_agents
  if [ "$FAILURES" -ne 0 ]; then
    echo "--- event log"; cat Noxguard.txt 2>/dev/null | tail -40 || true
    echo "--- fakes"; cat "$NOX_FAKE_LOG" 2>/dev/null | tail -20 || true
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
