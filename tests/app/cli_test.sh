#!/usr/bin/env bash
# Runs qelcut as a user would and checks exit codes, output and written files.
set -u
qelcut="$1"
src="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

"$qelcut" --help >"$tmp/help" 2>&1
check "tool help exits 0" test $? -eq 0
check "tool help lists dispose" grep -q "dispose" "$tmp/help"
# Every link of Xitong_TT in the send help, the default marked.
"$qelcut" send --help >"$tmp/shelp" 2>&1
for n in 1 2 3 4 5; do check "send help lists link $n" grep -q "^  $n  " "$tmp/shelp"; done
check "send help marks the default link" grep -q "^  3  .*the default" "$tmp/shelp"
"$qelcut" frobnicate >/dev/null 2>&1
check "unknown command fails" test $? -ne 0

# The sample with a new home: Config.ini is created, the page files are listed.
"$qelcut" dispose "$src/data/samples/sample.plt" --home "$tmp/home" >"$tmp/out" 2>"$tmp/err"
check "dispose exits 0" test $? -eq 0
check "config created" test -f "$tmp/home/Config.ini"
check "one line per page file" test "$(wc -l <"$tmp/out")" -ge 1
first="$(cut -f1 "$tmp/out" | head -n1)"
check "reported file exists in DisposeDir" test -f "$first" -a "$(dirname "$first")" = "$tmp/home/DisposeDir"
check "size text is reported" grep -q $'\t[0-9.]* \* [0-9.]*$' "$tmp/out"

# --out, and a missing input file.
"$qelcut" dispose "$src/data/samples/sample.plt" --home "$tmp/home" --out "$tmp/pages" >/dev/null 2>&1
check "--out is used" test "$(ls "$tmp/pages" | wc -l)" -ge 1
"$qelcut" dispose "$tmp/none.plt" --home "$tmp/home" >/dev/null 2>"$tmp/err2"
check "missing file fails" test $? -eq 1
check "missing file is named" grep -q "none.plt" "$tmp/err2"

# Mode 2 with a stroke across the page edge fails.
mkdir -p "$tmp/home2"
printf '[Split_Page]\r\nCUT_FT=2\r\nPage_Width=10\r\nPage_Height=10\r\n' >"$tmp/home2/Config.ini"
printf 'PU0,0;PD1000,0;PU0,0;' >"$tmp/wide.plt"
"$qelcut" dispose "$tmp/wide.plt" --home "$tmp/home2" >/dev/null 2>"$tmp/err3"
check "mode 2 edge crossing fails" test $? -eq 1
check "mode 2 failure explained" grep -q "page edge" "$tmp/err3"

finish_checks
