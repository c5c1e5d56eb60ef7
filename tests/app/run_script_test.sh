#!/usr/bin/env bash
# scripts/run as a user meets it, on the existing build: it refuses to go ahead when its
# simulator's address is taken (it once delivered to whatever listened there), and otherwise
# starts its own simulator and the headless queue, and stops both on SIGTERM.
# usage: run_script_test.sh SOURCE_DIR BUILD_DIR
set -u
src="$1"
export BUILD_DIR="$2" QELCUT_HEADLESS=1
tmp="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM -- "-$p" 2>/dev/null || kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
listening() { timeout 2 bash -c "exec 3<>/dev/tcp/$1/$2" 2>/dev/null; }  # listening ADDRESS PORT
not_listening() { ! listening "$@"; }

# Someone else listens on the simulator's address: refused, and no queue starts.
python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.233", 3241)); s.listen(1)
print("ready", flush=True); time.sleep(300)' >"$tmp/squatter.log" &
pids+=($!)
check "a foreign listener is up" wait_for "$tmp/squatter.log" "ready" 20
QELCUT_HOME="$tmp/home1" QELCUT_SIM_ADDRESS=127.0.0.233 timeout 600 "$src/scripts/run" >"$tmp/run1.log" 2>&1
rc=$?
check "run fails when the address is taken (rc $rc)" test "$rc" -eq 1
check "run says the address is in use" grep -q "127.0.0.233:3241 is already in use" "$tmp/run1.log"
check "no queue was started" test "$(grep -c "drop a .plt" "$tmp/run1.log")" = 0
check "no watch folder was pointed at it" test ! -e "$tmp/home1/qelcut.lock"

# A free address: its own simulator, then the queue; SIGTERM stops both.
QELCUT_HOME="$tmp/home2" QELCUT_SIM_ADDRESS=127.0.0.234 setsid "$src/scripts/run" >"$tmp/run2.log" 2>&1 &
run=$!
pids+=($run)
check "run starts the queue" wait_for "$tmp/run2.log" "start: watching" 600
check "run shows what it builds" grep -q "^run: building" "$tmp/run2.log"
check "the simulator listens" listening 127.0.0.234 3241
# SIGTERM to the script alone, as a supervisor sends it: the queue and the simulator stop too.
kill -TERM "$run"
deadline=$((SECONDS + 30))
while kill -0 "$run" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
check "run ends on SIGTERM" test ! -d "/proc/$run"
check "the queue stopped cleanly" wait_for "$tmp/run2.log" "stopped$" 10
deadline=$((SECONDS + 10))
while listening 127.0.0.234 3241 && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
check "the simulator is gone with it" not_listening 127.0.0.234 3241

[ "$failed" -eq 0 ] || { echo "--- run 1"; cat "$tmp/run1.log"; echo "--- run 2"; tail -40 "$tmp/run2.log"; }
finish_checks
