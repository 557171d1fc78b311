#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs into a temporary prefix and checks that a desktop would find everything.
# Usage: check-install.sh <build-dir>
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
status=0
for f in bin/korvanet bin/korvanet-modem-sim share/applications/korvanet.desktop \
         share/icons/hicolor/scalable/apps/korvanet.svg \
         share/metainfo/io.github.korvanet.Korvanet.metainfo.xml \
         share/man/man1/korvanet.1.gz share/man/man1/korvanet-modem-sim.1.gz \
         share/doc/korvanet/copyright share/doc/korvanet/changelog.gz; do
    if [ ! -e "$prefix/$f" ]; then
        echo "missing after install: $f"
        status=1
    fi
done
for size in 16 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/korvanet.png
    [ "$(identify -format %wx%h "$png" 2>/dev/null)" = "${size}x$size" ] || {
        echo "no ${size}x$size icon: $png"; status=1; }
done
[ -x "$prefix/bin/korvanet" ] || { echo "korvanet is not executable"; status=1; }
desktop-file-validate "$prefix/share/applications/korvanet.desktop" || status=1
grep -qx 'Categories=Utility;' "$prefix/share/applications/korvanet.desktop" || {
    echo "the desktop entry is not in the Utility category"; status=1; }
# No library search path of their own: the loader would try its folders for every library
# first, and an empty entry, as CMake pads one in the build tree, means the working directory.
for program in "$prefix/bin/korvanet" "$prefix/bin/korvanet-modem-sim" \
               "$build/korvanet" "$build/korvanet-modem-sim"; do
    if readelf -d "$program" | grep -qE '\((RPATH|RUNPATH)\)'; then
        echo "$program carries a library search path"
        status=1
    fi
done
version=$("$prefix/bin/korvanet" --version) || status=1
[ "$version" = "korvanet $(sed -n 's/^project(korvanet VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")" ] || {
    echo "unexpected version line: $version"; status=1; }
exit $status
