#!/bin/sh
# Records what `qelcut dispose` writes for a fixed set of inputs in every page mode: one line
# per page file (its name without the run's time tag, its size text and the SHA-256 of its
# bytes) and one per run (exit status and message). Two builds' records are compared with
# `cmp`/`diff`: a change that must not alter any output byte leaves the record the same.
#
#   record_outputs.sh QELCUT DISPOSE_BENCH OUTFILE
#
# Inputs: tests/plot/realworld, tests/plot/corpus, data/samples at page widths of 1500 and
# 150 mm, and generated files of four shapes (strokes, letters in boxes, labels, circles) made
# by `plot_dispose_bench --generate`. Runs take a few minutes.
set -eu
qelcut=$(readlink -f "$1")
bench=$(readlink -f "$2")
outfile=$3
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/qelcut-record.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QELCUT_LOOPBACK_ONLY=1

"$bench" --generate strokes 3 "$work/gen_strokes.plt"
"$bench" --generate boxes 3 "$work/gen_boxes.plt"
"$bench" --generate labels 2 "$work/gen_labels.plt"
"$bench" --generate circles 2 "$work/gen_circles.plt"
"$bench" --generate boxes 12 "$work/gen_boxes_big.plt"

run() {  # input width mode
  home=$work/home out=$work/out
  rm -rf "$home" "$out"
  mkdir -p "$home"
  if [ "$3" = copy ]; then
    printf '[Split_Page]\nSplit_Page_Enabled=0\n[Optimize]\nOptimize_Function=0\n' >"$home/Config.ini"
  else
    printf '[Split_Page]\nSplit_Page_Enabled=1\nCUT_FT=%s\nPage_Width=%s\nPage_Height=1200\n[FontDispose]\nFontDispose_Enabled=0\n' \
      "$3" "$2" >"$home/Config.ini"
  fi
  rc=0
  "$qelcut" dispose "$1" --home "$home" --out "$out" >"$work/stdout" 2>"$work/stderr" || rc=$?
  echo "== $(basename "$1") width=$2 mode=$3 rc=$rc $(sed -E "s|$work|WORK|g; s|$src|SRC|g; s/[0-9]{8}_[0-9]{6}/TAG/g" "$work/stderr" | tr '\n' ' ')"
  while IFS="$(printf '\t')" read -r name size; do
    [ -n "$name" ] || continue
    sum=$(sha256sum "$name" | cut -c1-64)
    echo "$(basename "$name" | sed -E 's/[0-9]{8}_[0-9]{6}/TAG/') [$size] $sum"
  done <"$work/stdout"
}

{
  for f in "$src"/tests/plot/realworld/*.hpgl "$src"/tests/plot/corpus/*.plt "$src"/data/samples/*.plt; do
    for width in 1500 150; do
      for mode in copy 0 1 2 3 4 5 6 7 8 9; do run "$f" $width $mode; done
    done
  done
  for f in "$work"/gen_*.plt; do
    for mode in copy 0 1 2 3 4 5 6 7 8 9; do run "$f" 1500 $mode; done
  done
} >"$outfile"
echo "recorded $(grep -c '^==' "$outfile") runs, $(grep -vc '^==' "$outfile") page files in $outfile"
