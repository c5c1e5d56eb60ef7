#!/bin/sh
# Records what `qelcut dispose` writes for a fixed set of inputs in every page mode: one line
# per page file (its name without the run's time tag, its size text and the SHA-256 of its
# bytes) and one per run (exit status and message). Two builds' records are compared with
# `cmp`/`diff`: a change that must not alter any output byte leaves the record the same.
#
#   record_outputs.sh QELCUT DISPOSE_BENCH OUTFILE [FONT]
#
# Inputs: tests/plot/realworld, tests/plot/corpus, data/samples at page widths of 1500 and
# 150 mm, and generated files of four shapes (strokes, letters in boxes, labels, circles) made
# by `plot_dispose_bench --generate`. With FONT (a QEL.dat, e.g. build/data/QEL.dat) every
# input is run once more in every page mode under each of a few option sets (labels drawn
# from the font, pages written in drawing order, the cutter handle and leave-cut ends, thinning,
# densifying, cut quality, outer contours with their own pen). Runs take a few minutes.
set -eu
qelcut=$(readlink -f "$1")
bench=$(readlink -f "$2")
outfile=$3
font=${4:+$(readlink -f "$4")}
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/qelcut-record.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QELCUT_LOOPBACK_ONLY=1

"$bench" --generate strokes 3 "$work/gen_strokes.plt"
"$bench" --generate boxes 3 "$work/gen_boxes.plt"
"$bench" --generate labels 2 "$work/gen_labels.plt"
"$bench" --generate circles 2 "$work/gen_circles.plt"
"$bench" --generate boxes 12 "$work/gen_boxes_big.plt"

# The option sets of the second part: a name and the lines added to Config.ini.
variant() {
  case $1 in
    font) printf '[FontDispose]\nFontDispose_Enabled=1\n' ;;
    order) printf '[FontDispose]\nFontDispose_Enabled=0\n' ;;
    cutter) printf '[FontDispose]\nFontDispose_Enabled=0\n[Optimize]\nCutter_Handle=1\nLeave_Cut=1\nMinDistance_Close=5\nTranCI=1\n' ;;
    thin) printf '[FontDispose]\nFontDispose_Enabled=0\n[DeletePoint]\nDeletePoint_Enabled=1\n' ;;
    dense) printf '[FontDispose]\nFontDispose_Enabled=0\n[AddPoint]\nAddPoint_Enabled=1\n' ;;
    quality) printf '[FontDispose]\nFontDispose_Enabled=1\n[CutQuality]\nKnifeOffset=0.3\nOvercut=1\nWeedBox=1\nWeedLines=1\n' ;;
    occ) printf '[FontDispose]\nFontDispose_Enabled=0\n[Contour]\nOCC=1\nSPN=3\n[Optimize]\nMinDistance_Close=3\n' ;;
    *) printf '[FontDispose]\nFontDispose_Enabled=0\n' ;;
  esac
}

run() {  # input width mode [variant]
  home=$work/home out=$work/out
  rm -rf "$home" "$out"
  mkdir -p "$home"
  if [ "$3" = copy ]; then
    printf '[Split_Page]\nSplit_Page_Enabled=0\n[Optimize]\nOptimize_Function=0\n' >"$home/Config.ini"
  else
    order=0
    [ "${4:-}" = order ] && order=1
    { printf '[Split_Page]\nSplit_Page_Enabled=1\nCUT_FT=%s\nPage_Width=%s\nPage_Height=1200\nStrokeAppearOrderOfPage=%s\n' \
        "$3" "$2" "$order"
      variant "${4:-}"; } >"$home/Config.ini"
  fi
  if [ -n "$font" ]; then ln -s "$font" "$home/QEL.dat"; fi
  rc=0
  "$qelcut" dispose "$1" --home "$home" --out "$out" >"$work/stdout" 2>"$work/stderr" || rc=$?
  echo "== $(basename "$1") width=$2 mode=$3${4:+ $4} rc=$rc $(sed -E "s|$work|WORK|g; s|$src|SRC|g; s/[0-9]{8}_[0-9]{6}/TAG/g" "$work/stderr" | tr '\n' ' ')"
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
  if [ -n "$font" ]; then
    for v in font order cutter thin dense quality occ; do
      for f in "$src"/tests/plot/realworld/*.hpgl "$src"/tests/plot/corpus/*.plt "$src"/data/samples/*.plt \
               "$work"/gen_labels.plt "$work"/gen_circles.plt "$work"/gen_boxes.plt; do
        for mode in 0 1 2 3 4 5 6 7 8 9; do run "$f" 1500 $mode $v; done
      done
    done
  fi
} >"$outfile"
echo "recorded $(grep -c '^==' "$outfile") runs, $(grep -vc '^==' "$outfile") page files in $outfile"
