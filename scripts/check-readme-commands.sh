#!/usr/bin/env bash
# Runs the commands README.md shows, as a newcomer would type them, against a
# demo of their own. Every ```sh block of the README follows a marker:
#   <!-- check: demo -->        started, left running, then ended with Ctrl-C
#   <!-- check: with-demo -->   typed in another shell while the demo runs:
#                               tried until it succeeds and prints something
#   <!-- check: after-demo -->  run after the demo has ended, in one shell
#   <!-- check: no (why) -->    not run here (the test command itself)
# A block without a marker fails the check. The servers' default folder and
# the demo's folder are replaced by temporary ones and the servers' ports moved
# 20 up, so that a developer's own demo and the test command's servers are left
# alone; everything is removed at the end.
#   check-readme-commands.sh [README]
set -euo pipefail
cd "$(dirname "$0")/.."
readme=${1:-README.md}
BUILD_DIR=${BUILD_DIR:-build}
fb_port=$(( ${CATRACA_FB_PORT:-3050} + 20 ))
my_port=$(( ${CATRACA_MYSQL_PORT:-3307} + 20 ))
# A newcomer's shell: none of the caller's servers, no display (the demo runs
# without a window).
while read -r name; do unset "$name"; done < <(compgen -e | grep '^CATRACA_')
unset DISPLAY WAYLAND_DISPLAY
work=$(mktemp -d -t catraca-readme-XXXXXX)
export CATRACA_SERVERS_DIR=$work/servers CATRACA_DEMO_DIR=$work/demo
# The program's lock for that folder (src/app/single_instance.cpp).
lock=/tmp/catraca-sync-$(printf %s "$(realpath -m "$CATRACA_DEMO_DIR")" | sha1sum | cut -c1-16).lock
demo=
cleanup() {
  [ -z "$demo" ] || kill -KILL -- "-$demo" 2>/dev/null || true
  scripts/servers.sh stop >/dev/null 2>&1 || true
  [ ! -e "$lock" ] || flock -n "$lock" rm -f "$lock" || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "check-readme-commands: FAILED: $*" >&2; failures=$((failures + 1)); }

mkdir "$work/blocks"
awk -v dir="$work/blocks" '
  /^<!-- check: [a-z-]+( .*)? -->/ { mode = $3; next }
  /^```sh[[:space:]]*$/ {
    if (mode == "") { print "line " NR ": a command block without a check marker" > "/dev/stderr"; bad = 1; mode = "unmarked" }
    file = sprintf("%s/%02d-line%d.%s", dir, ++n, NR, mode); printf "" > file
    inside = 1; mode = ""; next
  }
  inside && /^```[[:space:]]*$/ { inside = 0; close(file); next }
  inside { print > file; next }
  /^[[:space:]]*$/ { next }
  { mode = "" }
  END { exit bad }
' "$readme" || fail "every command block needs a check marker"

# The commands as written, but for the folders this check uses instead.
prepare() { # block
  local script=$work/run.sh
  sed -e "s|/tmp/catraca-servers|$CATRACA_SERVERS_DIR|g" -e "s|/tmp/catraca-demo|$CATRACA_DEMO_DIR|g" "$1" >"$script"
  if [ "$BUILD_DIR" != build ]; then
    sed -i -E -e "s#(^|[[:space:]])build/#\\1$BUILD_DIR/#g" -e "s#--test-dir build([[:space:]]|\$)#--test-dir $BUILD_DIR\\1#g" "$script"
  fi
  echo "$script"
}
shown() { sed 's/^/    /' "$1"; }

shopt -s nullglob
demo_blocks=("$work"/blocks/*.demo)
[ ${#demo_blocks[@]} -eq 1 ] || fail "${#demo_blocks[@]} demo blocks, one expected"
if [ ${#demo_blocks[@]} -ge 1 ]; then
  echo "check-readme-commands: the demo:"; shown "${demo_blocks[0]}"
  cp "$(prepare "${demo_blocks[0]}")" "$work/demo.sh"
  started=$(date +%s)
  # Its own process group, as a terminal gives it, so that Ctrl-C is one
  # SIGINT to the whole group.
  set -m
  CATRACA_FB_PORT=$fb_port CATRACA_MYSQL_PORT=$my_port bash "$work/demo.sh" >"$work/demo.log" 2>&1 &
  demo=$!
  set +m
  for block in "$work"/blocks/*.with-demo; do
    echo "check-readme-commands: while the demo runs:"; shown "$block"
    script=$(prepare "$block")
    ok=0
    for _ in $(seq 180); do
      if out=$(bash "$script" 2>&1) && [ -n "$out" ]; then ok=1; break; fi
      kill -0 "$demo" 2>/dev/null || break
      sleep 1
    done
    if [ "$ok" -eq 1 ]; then
      echo "check-readme-commands: ok after $(( $(date +%s) - started )) s:"; head -n 5 <<<"$out" | sed 's/^/    /'
    else
      fail "no output while the demo ran; last: ${out:-nothing}"
    fi
  done
  kill -INT -- "-$demo" 2>/dev/null || true
  for _ in $(seq 60); do kill -0 "$demo" 2>/dev/null || break; sleep 0.5; done
  if kill -0 "$demo" 2>/dev/null; then
    fail "the demo did not end on Ctrl-C"
  else
    wait "$demo" || true
    # The simulator's last sleep may outlive it by a few seconds.
    for _ in $(seq 20); do left=$(pgrep -g "$demo" || true); [ -n "$left" ] || break; sleep 0.5; done
    [ -z "$left" ] || fail "Ctrl-C left processes of the demo: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
    demo=
  fi
  scripts/servers.sh status | grep -q running && fail "Ctrl-C left the demo's servers running"
  if [ "$failures" -gt 0 ]; then echo "check-readme-commands: the demo's output:"; tail -n 20 "$work/demo.log"; fi
fi

for block in "$work"/blocks/*.after-demo; do
  echo "check-readme-commands: after the demo:"; shown "$block"
  if bash -e "$(prepare "$block")" >"$work/block.log" 2>&1; then
    echo "check-readme-commands: ok, ending with:"; grep -v '^$' "$work/block.log" | tail -n 6 | sed 's/^/    /'
  else
    fail "this block ended with an error:"; tail -n 20 "$work/block.log" >&2
  fi
  scripts/servers.sh stop >/dev/null 2>&1 || true
done
for block in "$work"/blocks/*.no; do echo "check-readme-commands: not run here:"; shown "$block"; done

if [ "$failures" -gt 0 ]; then
  echo "check-readme-commands: FAILED: $failures" >&2
  exit 1
fi
echo "check-readme-commands: OK: every command the README shows"
