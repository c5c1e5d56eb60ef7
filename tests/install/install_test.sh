#!/usr/bin/env bash
# Installs the build into a scratch root (DESTDIR) under a prefix the build was not configured
# for, and checks the installed tree alone.
# usage: install_test.sh BUILD_DIR VERSION
set -eu
build="$1"
version="$2"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /opt/qelcut >"$root.log" 2>&1 || { cat "$root.log"; rm -f "$root.log"; exit 1; }
rm -f "$root.log"
# Nothing may land outside the scratch root's prefix.
test -z "$(find "$root" -mindepth 1 -maxdepth 1 ! -name opt)" || { echo "FAILED: files outside the prefix"; ls "$root"; exit 1; }
"$here/check_installed.sh" "$root" /opt/qelcut "$version"
