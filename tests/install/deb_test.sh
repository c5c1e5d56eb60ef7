#!/usr/bin/env bash
# Builds the Debian packages from the build with CPack into a scratch folder, unpacks them into
# a scratch root with dpkg-deb -x and checks the installed tree. (scripts/package adds lintian.)
# usage: deb_test.sh BUILD_DIR VERSION
set -eu
build="$1"
version="$2"
here="$(cd "$(dirname "$0")" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
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
