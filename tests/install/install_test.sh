#!/usr/bin/env bash
# The installed tree checked alone, installed one of two ways:
# - dir: cmake --install into a scratch root (DESTDIR) under a prefix the build was not
#   configured for; nothing may land outside that prefix;
# - deb: the Debian packages built with CPack, unpacked with dpkg-deb -x. (scripts/package adds
#   lintian.)
# usage: install_test.sh dir|deb BUILD_DIR VERSION
set -eu
how="$1"
build="$2"
version="$3"
here="$(cd "$(dirname "$0")" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
if [ "$how" = dir ]; then
  DESTDIR="$scratch/root" cmake --install "$build" --prefix /opt/qelcut >"$scratch/install.log" 2>&1 || { cat "$scratch/install.log"; exit 1; }
  test -z "$(find "$scratch/root" -mindepth 1 -maxdepth 1 ! -name opt)" || { echo "FAILED: files outside the prefix"; ls "$scratch/root"; exit 1; }
  exec "$here/check_installed.sh" "$scratch/root" /opt/qelcut "$version"
fi
(cd "$build" && cpack -B "$scratch/packages" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
mkdir "$scratch/root"
found=0
for d in "$scratch"/packages/*.deb; do
  dpkg-deb -x "$d" "$scratch/root"
  test "$(dpkg-deb -f "$d" Version)" = "$version" || { echo "FAILED: $(basename "$d") has version $(dpkg-deb -f "$d" Version)"; exit 1; }
  found=$((found + 1))
done
test "$found" -eq 3 || { echo "FAILED: $found packages instead of qelcut, libqelcontroller1 and libqelcontroller-dev"; exit 1; }
# The -dev package needs the library package of the same version.
dev="$(ls "$scratch"/packages/libqelcontroller-dev_*.deb)"
test "$(dpkg-deb -f "$dev" Depends)" = "libqelcontroller1 (= $version)" || { echo "FAILED: -dev depends on '$(dpkg-deb -f "$dev" Depends)'"; exit 1; }
"$here/check_installed.sh" "$scratch/root" /usr "$version"
