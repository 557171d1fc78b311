#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, running and testing need, when missing.
# Sourced by the other scripts; runs apt-get as root, or through sudo for a normal user.
set -eu
packages="cmake ninja-build g++ clang libclang-rt-14-dev pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
fonts-liberation2 xvfb xdotool x11-utils imagemagick desktop-file-utils dpkg-dev librsvg2-bin
lintian appstream man-db groff-base clang-format picocom minicom screen socat cu ser2net locales
strace libxcb1-dev libudev-dev pkgconf fonts-dejavu-core debhelper bash-completion autopkgtest
xauth"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi

# The tests read numbers under decimal-comma locales too. Enabled in /etc/locale.gen, so that
# a later locale-gen keeps them.
for locale in fi_FI.UTF-8 de_DE.UTF-8; do
    available=$(echo "$locale" | sed 's/UTF-8$/utf8/')
    locale -a 2>/dev/null | grep -qx "$available" && continue
    echo "Generating the locale $locale"
    if [ -f /etc/locale.gen ] && command -v locale-gen >/dev/null; then
        grep -q "^$locale UTF-8" /etc/locale.gen \
            || $sudo sed -i "s/^# *$locale UTF-8/$locale UTF-8/" /etc/locale.gen
        grep -q "^$locale UTF-8" /etc/locale.gen \
            || echo "$locale UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen
    else
        $sudo localedef -i "${locale%.UTF-8}" -f UTF-8 "$locale"
    fi
done
