#!/usr/bin/env bash
# The desktop program as a process (offscreen): a file dropped into the watch folder reaches
# the simulated coordinator on a loopback address and the history; one queue per home folder,
# whether the other one is a window or the headless queue; SIGTERM closes it cleanly.
set -u
qelcut="$1"
tmp="$(mktemp -d)"
home="$tmp/home"
# An address no other test uses.
addr="127.0.0.245"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
source "$(dirname "$0")/../support/checks.sh"

export QT_QPA_PLATFORM=offscreen QELCUT_MESSAGES=stdout QELCUT_LOOPBACK_ONLY=1
"$qelcut" sim --home "$home" --bind "$addr" --configure-home >/dev/null
printf '[System]\r\nDebugStatus=1\r\n[Split_Page]\r\nCUT_FT=4\r\n[Transfer_Config]\r\nTransfer_DelayTime=0\r\n[Language_ID]\r\nLanguage_Type=1\r\n' >>"$home/Config.ini"
"$qelcut" sim --home "$home" --bind "$addr" >"$tmp/sim.log" 2>&1 &
pids+=($!)
wait_for "$tmp/sim.log" "listening\|TCP" 20

"$qelcut" gui --home "$home" >"$tmp/gui.log" 2>&1 &
gui=$!
pids+=($gui)
check "the window starts its queue" wait_for "$tmp/gui.log" "start: watching" 30

printf 'IN;SP1;PU0,0;PD400,0,400,400,0,400,0,0;PU;' >"$home/ListenDir/square.plt"
check "the file reaches the coordinator" wait_for "$tmp/sim.log" "coordinator: file" 60
check "the page is filed as sent" wait_for "$tmp/gui.log" "^.* sent .*square" 30
check "the page lands in the printed folder" bash -c "ls '$home/PrintedDir' | grep -q '^square_.*_001.PLT'"

# A second window on the same home is refused and leaves the first running.
"$qelcut" gui --home "$home" >"$tmp/gui2.log" 2>&1
check "a second window exits non-zero" test $? -ne 0
check "a second window says so" grep -q "The program has already opened" "$tmp/gui2.log"
"$qelcut" watch --home "$home" >"$tmp/watch.log" 2>&1
check "the headless queue is refused beside the window" test $? -ne 0
check "the first window runs on" kill -0 "$gui"

# SIGTERM closes the window as its close box does: the queue ends, the lock goes.
kill -TERM "$gui"
wait "$gui"
check "SIGTERM ends the window with success" test $? -eq 0
check "the window says it stopped" grep -q "qelcut gui: stopped" "$tmp/gui.log"
"$qelcut" watch --home "$home" >"$tmp/watch2.log" 2>&1 &
watch=$!
pids+=($watch)
check "the headless queue starts" wait_for "$tmp/watch2.log" "start: watching" 30
"$qelcut" gui --home "$home" >"$tmp/gui3.log" 2>&1
check "a window is refused beside the headless queue" test $? -ne 0
check "the refusal is shown" grep -q "The program has already opened" "$tmp/gui3.log"

finish_checks
