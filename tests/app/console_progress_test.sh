#!/usr/bin/env bash
# Progress output of the console commands against the simulated machines on loopback:
# - qelcut send on a 40-column terminal redraws its bar on one row (it added a row per update
#   when the bar was wider than the terminal);
# - qelcut watch prints progress lines while a file goes over the slow network link.
# usage: console_progress_test.sh QELCUT
set -u
qelcut="$1"
tmp="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
start_sim() {  # start_sim HOME ADDRESS KIND: the simulator, once it says it is ready
  "$qelcut" sim --home "$1" --bind "$2" --kind "$3" --configure-home >/dev/null || return 1
  "$qelcut" sim --home "$1" --bind "$2" --kind "$3" >"$1.sim.log" 2>&1 &
  pids+=($!)
  wait_for "$1.sim.log" "sim: running" 20
}

# --- send on a narrow terminal --------------------------------------------------------------
home="$tmp/send"
check "coordinator simulator starts" start_sim "$home" 127.0.0.231 coordinator
head -c 6000000 /dev/zero | tr '\0' 'A' >"$tmp/big.plt"
# On a pseudo-terminal of 40 columns (script(1) gives the program one).
script -qec "stty cols 40 rows 24; exec '$qelcut' send '$tmp/big.plt' --home '$home'" /dev/null </dev/null >"$tmp/pty.out"
rc=$?
read -r bar_rows redraws widest < <(python3 - "$tmp/pty.out" <<'PY'
import sys
rows = open(sys.argv[1], "rb").read().decode("utf-8", "replace").replace("\r\n", "\n").split("\n")
bar_rows = [r for r in rows if "bytes" in r and "B/s" in r]
widest = max((len(seg) for r in bar_rows for seg in r.split("\r")), default=0)
print(len(bar_rows), sum(r.count(chr(13)) for r in bar_rows), widest)
PY
)
check "send delivers (rc $rc)" test "$rc" -eq 0
check "the bar stays on one row ($bar_rows rows)" test "${bar_rows:-0}" -eq 1
check "the bar is redrawn in place ($redraws times)" test "${redraws:-0}" -ge 2
check "no drawing reaches column 40 (widest $widest)" test "${widest:-99}" -le 39

# --- watch over the network link ------------------------------------------------------------
home="$tmp/watch"
check "network simulator starts" start_sim "$home" 127.0.0.232 network
"$qelcut" watch --home "$home" --time-scale 0.05 >"$tmp/watch.log" 2>&1 &
pids+=($!)
check "watch starts" wait_for "$tmp/watch.log" "start: watching" 20
# 20 KB of strokes: 10 ms per 100-byte piece at this time scale, about 2 s on the link.
for i in $(seq 1000); do printf 'PU%d,0;PD%d,4000;' $((i * 10)) $((i * 10)); done >"$tmp/job.plt"
cp "$tmp/job.plt" "$home/ListenDir/job.plt.part" && mv "$home/ListenDir/job.plt.part" "$home/ListenDir/job.plt"
check "the page file is sent" wait_for "$tmp/watch.log" "^[0-9:.]* sent " 120
sending="$(grep -n ' sending ' "$tmp/watch.log" | head -n1 | cut -d: -f1)"
sent="$(grep -n ' sent ' "$tmp/watch.log" | head -n1 | cut -d: -f1)"
progress="$(sed -n "${sending:-1},${sent:-1}p" "$tmp/watch.log" | grep -c ' progress: [0-9]* of [0-9]* bytes')"
check "watch names the file it sends" test -n "$sending"
check "progress lines while the file goes out ($progress)" test "$progress" -ge 2
check "the last progress line is the whole file" grep -q "progress: \([0-9]*\) of \1 bytes (100%)" "$tmp/watch.log"

[ "$failed" -eq 0 ] || { echo "--- watch log"; cat "$tmp/watch.log"; echo "--- pty"; tail -c 2000 "$tmp/pty.out"; }
finish_checks
