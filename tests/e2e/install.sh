#!/usr/bin/env bash
# `cmake --install` into scratch DESTDIRs only, never the real system: the layout, the
# modes of the fixed directories, the prefix chosen at install time, a single component,
# the manual pages (mandoc, man), the service files (systemd-analyze, sh -n), the tools'
# help against their pages, and the example configuration loaded by the installed agent
# inside the sandbox.
set -uo pipefail
BUILD=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
SRC=$(cd "$(dirname "$0")/../.." && pwd)
FAILURES=0

pass() { echo "ok - $*"; }
fail() { echo "FAIL - $*"; FAILURES=$((FAILURES + 1)); }
skip() { echo "SKIP - $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what="$1"; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

tmp=$(mktemp -d /tmp/noxinstall.XXXXXX)
[ -n "$tmp" ] && [ -d "$tmp" ] || { echo "cannot make a scratch directory"; exit 1; }
trap 'rm -rf "$tmp"' EXIT

# install_into NAME PREFIX [COMPONENT]: DESTDIR is always a fresh folder below $tmp.
install_into() {
  local dest="$tmp/$1" prefix="$2" component="${3:-}"
  case "$dest" in "$tmp"/?*) ;; *) echo "refusing to install outside the scratch directory"; exit 1 ;; esac
  mkdir -p "$dest"
  local args=(--install "$BUILD" --prefix "$prefix")
  [ -n "$component" ] && args+=(--component "$component")
  if ! DESTDIR="$dest" cmake "${args[@]}" > "$tmp/$1.log" 2>&1; then
    cat "$tmp/$1.log"
    return 1
  fi
}

# Everything below DIR that is not a directory, as paths starting with "/".
files_in() { (cd "$1" && find . ! -type d | sed 's|^\.||' | sort); }
mode_of() { stat -c %a "$1" 2>/dev/null; }

# --- full install, prefix /usr -------------------------------------------------------
D="$tmp/usr"
check "install with --prefix /usr into DESTDIR" install_into usr /usr

expected=$(sort <<'EOF'
/usr/bin/noxcard
/usr/bin/noxctl
/usr/lib/systemd/system/noxguard.service
/usr/sbin/noxguard
/usr/share/doc/noxguard/Noxguard.conf.example
/usr/share/doc/noxguard/noxguard.rc
/usr/share/man/man1/noxcard.1
/usr/share/man/man5/noxguard.conf.5
/usr/share/man/man8/noxctl.8
/usr/share/man/man8/noxguard.8
EOF
)
actual=$(files_in "$D")
if [ "$actual" = "$expected" ]; then
  pass "installed files are exactly the expected ones"
else
  fail "installed files differ (< expected, > installed):"
  diff <(echo "$expected") <(echo "$actual") | grep '^[<>]'
fi

for entry in "/opt/nox 755" "/var/lib/noxguard 750" "/usr/sbin/noxguard 755" "/usr/bin/noxctl 755" \
             "/usr/bin/noxcard 755" "/usr/lib/systemd/system/noxguard.service 644" \
             "/usr/share/man/man8/noxguard.8 644" "/usr/share/doc/noxguard/Noxguard.conf.example 644"; do
  set -- $entry
  check "$1 has mode $2 (got $(mode_of "$D$1"))" test "$(mode_of "$D$1")" = "$2"
done
check "/opt/nox and /var/lib/noxguard are directories" test -d "$D/opt/nox" -a -d "$D/var/lib/noxguard"
check "/opt/nox is empty (the agent creates its socket there)" test -z "$(ls -A "$D/opt/nox" 2>/dev/null)"

# The tools start from their installed place (the agent itself runs only in the sandbox).
for tool in noxctl noxcard; do
  check "installed $tool --help exits 0" "$D/usr/bin/$tool" --help > /dev/null
done

# --- service files ---------------------------------------------------------------------
unit="$D/usr/lib/systemd/system/noxguard.service"
rc="$D/usr/share/doc/noxguard/noxguard.rc"
check "unit starts the agent from the install prefix" grep -qx 'ExecStart=/usr/sbin/noxguard' "$unit"
check "rc script runs the agent from the install prefix" grep -qx 'command="/usr/sbin/noxguard"' "$rc"
check "no placeholder left in the service files" bash -c '! grep -n "@[A-Z_]*@" "$0" "$1"' "$unit" "$rc"
check "rc script parses (sh -n)" sh -n "$rc"

if command -v systemd-analyze > /dev/null; then
  # verify needs an existing ExecStart, and checks Documentation= against MANPATH: point
  # both at what was just installed.
  mkdir -p "$tmp/verify"
  sed "s|^ExecStart=.*|ExecStart=$D/usr/sbin/noxguard|" "$unit" > "$tmp/verify/noxguard.service"
  out=$(MANPATH="$D/usr/share/man" systemd-analyze verify "$tmp/verify/noxguard.service" 2>&1)
  rc_verify=$?
  # It reports some mistakes (an unknown Type=, say) only as a message with status 0.
  if [ "$rc_verify" -eq 0 ] && [ -z "$out" ]; then
    pass "systemd-analyze verify finds nothing in the unit"
  else
    fail "systemd-analyze verify (status $rc_verify): $out"
  fi
else
  skip "systemd-analyze is not installed (package systemd): the unit was not verified"
fi

# --- manual pages ----------------------------------------------------------------------
pages=("$D"/usr/share/man/man1/noxcard.1 "$D"/usr/share/man/man5/noxguard.conf.5
       "$D"/usr/share/man/man8/noxctl.8 "$D"/usr/share/man/man8/noxguard.8)
if command -v mandoc > /dev/null; then
  for page in "${pages[@]}"; do
    out=$(mandoc -T lint -W warning "$page" 2>&1)
    check "mandoc lint: $(basename "$page") ${out:+
$out}" test -z "$out"
  done
else
  fail "mandoc is not installed (package mandoc, listed in scripts/lib/deps.sh): pages not linted"
fi
if command -v man > /dev/null && man --help 2>&1 | grep -q -- '--warnings'; then
  for page in "${pages[@]}"; do
    out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)
    check "man --warnings: $(basename "$page") ${out:+
$out}" test -z "$out"
  done
else
  skip "man-db's man is not installed: pages not formatted with warnings"
fi

# Every option and command a tool lists in its help is described in its page. Texts are
# held in variables: `grep -q` at the end of a pipe would break the pipe under pipefail.
# mentions TEXT WORD: the word appears in TEXT.
mentions() { grep -qw -- "$2" <<< "$1"; }
card_help=$("$D/usr/bin/noxcard" --help)
card_page=$(sed 's/\\-/-/g' "$SRC/man/noxcard.1")
missing=""
for opt in $(grep -o -- '--[a-z][a-z-]*' <<< "$card_help" | sort -u); do
  mentions "$card_page" "$opt" || missing+=" $opt"
done
for cmd in event warn delay source silent resume notify dump queries help quit; do
  mentions "$card_help" "$cmd" || missing+=" (help lacks $cmd)"
  mentions "$card_page" "$cmd" || missing+=" $cmd"
done
check "noxcard.1 covers every option and command of noxcard --help${missing:+, missing:$missing}" test -z "$missing"

ctl_help=$("$D/usr/bin/noxctl" --help)
ctl_page=$(sed 's/\\-/-/g' "$SRC/man/noxctl.8")
ctl_cmds=$(sed -n '/^commands:/,$p' <<< "$ctl_help" | awk 'NR > 1 { print $1 }')
missing=""
for cmd in $ctl_cmds; do
  mentions "$ctl_page" "$cmd" || missing+=" $cmd"
  for opt in $("$D/usr/bin/noxctl" "$cmd" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    mentions "$ctl_page" "$opt" || missing+=" $cmd:$opt"
  done
done
for opt in $(grep -o -- '--[a-z][a-z-]*' <<< "$ctl_help" | sort -u); do
  mentions "$ctl_page" "$opt" || missing+=" $opt"
done
check "noxctl.8 covers every command and option of noxctl --help${missing:+, missing:$missing}" \
  test -n "$ctl_cmds" -a -z "$missing"

# --- the prefix is the one given at install time -------------------------------------
A="$tmp/alt"
check "install with --prefix /srv/noxguard" install_into alt /srv/noxguard
check "agent lands in the chosen prefix" test -x "$A/srv/noxguard/sbin/noxguard"
check "unit names the agent in the chosen prefix" \
  grep -qx 'ExecStart=/srv/noxguard/sbin/noxguard' "$A/srv/noxguard/lib/systemd/system/noxguard.service"
check "fixed directories stay absolute" test -d "$A/opt/nox" -a -d "$A/var/lib/noxguard"

# --- one component --------------------------------------------------------------------
check "install of the doc component alone" install_into doc /usr doc
expected_doc=$(grep -E '/man/|\.example$' <<< "$expected")
check "the doc component holds the pages and the example only" \
  test "$(files_in "$tmp/doc")" = "$expected_doc"

# --- the example configuration loads -------------------------------------------------
# The installed agent reads the installed example inside the sandbox, then writes its
# configuration back. Every element line of the example must come back unchanged, and
# the file must not have been set aside as unreadable. The example's documentation
# addresses are mapped onto loopback so that nothing is sent anywhere else.
cat > "$tmp/example_check.sh" <<'EOF'
set -u
agent="$1" example="$2"
sed 's/192\.0\.2\./127.0.0./g' "$example" > Noxguard.conf
cp Noxguard.conf given.conf
"$agent"
for _ in $(seq 100); do grep -q "Noxguard start successful" Noxguard.txt 2>/dev/null && break; sleep 0.1; done
pid=$(cat /run/NOXService.pid 2>/dev/null)
[ -n "$pid" ] && kill -TERM "$pid"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
status=0
grep -q "Noxguard start successful" Noxguard.txt || { echo "agent did not start:"; cat Noxguard.txt; status=1; }
[ ! -e Noxguard.conf.bad ] || { echo "the example was set aside as unreadable"; status=1; }
# Element lines outside comments (the example shows an optional element in a comment).
lines=$(sed -e 's/<!--.*-->//' -e '/<!--/,/-->/d' given.conf |
        grep -E '^ *<(Remote|Cluster|/Cluster|[A-Za-z0-9]+>.*</[A-Za-z0-9]+>)' | sed 's/^ *//')
[ "$(wc -l <<< "$lines")" -ge 20 ] || { echo "too few element lines found in the example"; status=1; }
saved=$(sed "s/^ *//" Noxguard.conf)
while IFS= read -r line; do
  grep -qxF -- "$line" <<< "$saved" || { echo "not kept after loading: $line"; status=1; }
done <<< "$lines"
exit $status
EOF
out=$(bash "$SRC/tests/sandbox" -- bash "$tmp/example_check.sh" \
        "$D/usr/sbin/noxguard" "$D/usr/share/doc/noxguard/Noxguard.conf.example" 2>&1)
loaded=$?
check "installed agent loads the installed example configuration${out:+
$out}" test "$loaded" -eq 0

if [ "$FAILURES" -ne 0 ]; then
  echo "$FAILURES check(s) failed"
  exit 1
fi
echo "all checks passed"
