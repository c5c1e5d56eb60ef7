#!/usr/bin/env bash
# Checks an installed tree as a user meets it: ROOT is where the files lie (a DESTDIR or an
# unpacked .deb), PREFIX the prefix they were installed for. Nothing of the build folder is used.
# usage: check_installed.sh ROOT PREFIX VERSION
set -u
root="$1"
prefix="$2"
version="$3"
top="$root$prefix"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
contains() { grep -q -- "$2" "$1"; }

qelcut="$top/bin/qelcut"
"$qelcut" --version >"$tmp/version" 2>&1
check "--version exits 0" test $? -eq 0
check "--version prints the project version" test "$(cat "$tmp/version")" = "qelcut $version"

# Every installed program has its manual page; the tools answer --help.
for p in "$top"/bin/*; do check "$(basename "$p")(1) installed" test -f "$top/share/man/man1/$(basename "$p").1.gz"; done
for p in qelcut qelcut-sim-frame; do
  [ -x "$top/bin/$p" ] || continue
  "$top/bin/$p" --help >/dev/null 2>&1
  check "$p --help exits 0" test $? -eq 0
done

# The desktop program from the installed tree: every window drawn off screen, in Chinese (the
# translations come with it).
if [ -x "$top/bin/qelcut-gui" ]; then
  QT_QPA_PLATFORM=offscreen timeout 120 "$qelcut" screenshots "$tmp/shots" --lang zh --home "$tmp/shothome" \
    >"$tmp/shots.log" 2>&1
  check "qelcut screenshots runs the installed desktop program" test $? -eq 0
  check "the windows were drawn" test -n "$(find "$tmp/shots" -name '*.png' 2>/dev/null | head -n1)"
  check "the Chinese texts were there" test "$(grep -c "translations are missing" "$tmp/shots.log")" = 0
fi

# A plot with a label: the installed font is found and the label becomes strokes.
font="$top/share/qelcut/QEL.dat"
check "label font installed" test -s "$font"
mkdir -p "$tmp/home"
printf '[FontDispose]\r\nFontDispose_Enabled=1\r\n' >"$tmp/home/Config.ini"
printf 'IN;SP1;PU100,100;PD2000,100;PU100,200;SI0.5,0.5;LBHello\003;PU0,0;' >"$tmp/label.plt"
"$qelcut" dispose "$tmp/label.plt" --home "$tmp/home" --out "$tmp/pages" >"$tmp/out" 2>"$tmp/err"
check "dispose with a label exits 0" test $? -eq 0
page="$(cut -f1 "$tmp/out" | head -n1)"
check "dispose wrote its page" test -f "$page"
check "the label is drawn, not passed as text" test "$(grep -o 'PD' "$page" 2>/dev/null | wc -l)" -ge 5
check "no label text left" test "$(grep -c 'LBHello' "$page" 2>/dev/null)" = 0
# (Without a font the label is refused: the label stage's test.)

# The controller library: SONAME, header, relocatable pkg-config file, the example built with it.
lib="$(find "$top/lib" -name 'libqelcontroller.so.1' | head -n1)"
check "library installed" test -n "$lib"
libdir="$(dirname "$lib")"
check "library SONAME" test "$(objdump -p "$lib" | awk '$1 == "SONAME" { print $2 }')" = "libqelcontroller.so.1"
check "header installed" test -f "$top/include/qel_controller.h"
pc="$(find "$top/lib" -name qelcontroller.pc | head -n1)"
check "pkg-config file installed" test -n "$pc"
export PKG_CONFIG_PATH="$(dirname "$pc")"
cflags="$(pkg-config --cflags qelcontroller | sed 's/ *$//')"
libs="$(pkg-config --libs qelcontroller)"
check "pkg-config include dir is the installed one" test "$(cd "${cflags#-I}" 2>/dev/null && pwd -P)" = "$(cd "$top/include" && pwd -P)"
example="$(find "$top/share/doc" -name qelcontroller_example.c | head -n1)"
check "example installed" test -n "$example"
# shellcheck disable=SC2086
cc -Wall -Werror "$example" $cflags $libs -o "$tmp/example" 2>"$tmp/cc"
check "example compiles against the installed files" test $? -eq 0
LD_LIBRARY_PATH="$libdir" "$tmp/example" >"$tmp/ex" 2>&1
check "example runs on the installed library" test $? -eq 0
check "example used the installed library" test "$(LD_LIBRARY_PATH="$libdir" ldd "$tmp/example" | awk '/libqelcontroller/ { print $3 }' | xargs -r readlink -f)" = "$(readlink -f "$lib")"

# Desktop integration.
desktop="$top/share/applications/io.github.qelcut.QelCut.desktop"
metainfo="$top/share/metainfo/io.github.qelcut.QelCut.metainfo.xml"
check "desktop entry opens the desktop program" contains "$desktop" "^Exec=qelcut gui$"
check "metainfo carries the version" contains "$metainfo" "release version=\"$version\""
! command -v desktop-file-validate >/dev/null || check "desktop-file-validate" desktop-file-validate "$desktop"
! command -v appstreamcli >/dev/null || check "appstreamcli validate" appstreamcli validate --no-net "$metainfo"
check "scalable icon" test -f "$top/share/icons/hicolor/scalable/apps/qelcut.svg"
for s in 16 32 48 128 256; do check "icon ${s}x$s" test -f "$top/share/icons/hicolor/${s}x$s/apps/qelcut.png"; done

# The user service runs the installed qelcut watch, restarts it on failure, logs to the journal.
unit="$top/lib/systemd/user/qelcut.service"
check "service runs the installed watch" contains "$unit" "^ExecStart=$prefix/bin/qelcut watch$"
check "service restarts on failure" contains "$unit" "^Restart=on-failure$"
check "service logs to the journal" contains "$unit" "^StandardOutput=journal$"
if [ -x "$top/bin/qelcut-printer-app" ]; then
  unit="$top/lib/systemd/user/qelcut-printer-app.service"
  check "printer service runs the installed printer-app" contains "$unit" "^ExecStart=$prefix/bin/qelcut printer-app$"
fi

# Manual pages: one for qelcut naming every command, and every option of a command's --help
# in that command's page.
man1="$top/share/man/man1"
page_text() {  # the text of a page, .so links followed, roff hyphens plain
  local f="$1" so
  so="$(zcat "$f" | sed -n 's/^\.so man1\///p' | head -n1)"
  if [ -n "$so" ]; then f="$man1/$so.gz"; fi
  zcat "$f" | sed 's/\\-/-/g'
}
"$qelcut" --help >"$tmp/help"
commands="$(sed -n '/^commands:/,/^$/p' "$tmp/help" | awk 'NF > 1 { print $1 }')"
check "the tool lists commands" test -n "$commands"
page_text "$man1/qelcut.1.gz" >"$tmp/qelcut.1.txt"
for c in $commands; do
  check "qelcut(1) describes '$c'" grep -q "^\.BR $c " "$tmp/qelcut.1.txt"
  check "qelcut-$c(1) installed" test -f "$man1/qelcut-$c.1.gz"
  [ -f "$man1/qelcut-$c.1.gz" ] || continue
  page_text "$man1/qelcut-$c.1.gz" >"$tmp/page.txt"
  "$qelcut" "$c" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u >"$tmp/options"
  while read -r o; do check "qelcut-$c(1) describes $o" grep -q -- "$o" "$tmp/page.txt"; done <"$tmp/options"
done
if command -v man >/dev/null; then
  for f in "$man1"/*.1.gz; do
    warnings="$(cd "$man1/.." && LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$f" 2>&1 >/dev/null)"
    check "$(basename "$f") formats without warnings" test -z "$warnings"
    [ -n "$warnings" ] && echo "$warnings"
  done
fi

finish_checks
