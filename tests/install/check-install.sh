#!/bin/sh
# Installs into a temporary prefix and checks that a desktop would find everything.
# Usage: check-install.sh <build-dir>
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
status=0
for f in bin/korvanet bin/korvanet-modem-sim share/applications/korvanet.desktop \
         share/icons/hicolor/scalable/apps/korvanet.svg; do
    if [ ! -e "$prefix/$f" ]; then
        echo "missing after install: $f"
        status=1
    fi
done
[ -x "$prefix/bin/korvanet" ] || { echo "korvanet is not executable"; status=1; }
desktop-file-validate "$prefix/share/applications/korvanet.desktop" || status=1
grep -qx 'Categories=Utility;' "$prefix/share/applications/korvanet.desktop" || {
    echo "the desktop entry is not in the Utility category"; status=1; }
version=$("$prefix/bin/korvanet" --version) || status=1
[ "$version" = "korvanet $(sed -n 's/^project(korvanet VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")" ] || {
    echo "unexpected version line: $version"; status=1; }
exit $status
