#!/bin/sh
# Installs the Debian packages that building, running and testing need, when missing.
# Sourced by the other scripts; runs apt-get as root, or through sudo for a normal user.
set -eu
packages="cmake ninja-build g++ clang libclang-rt-14-dev pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
fonts-liberation2 xvfb xdotool x11-utils imagemagick desktop-file-utils dpkg-dev librsvg2-bin
lintian appstream man-db groff-base clang-format picocom minicom screen socat cu"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi
