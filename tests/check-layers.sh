#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The includes point one way: app/ uses modem/, monitor/ and serial/; modem/ and monitor/
# use serial/; serial/ stands on its own. Prints every include that points back, and fails
# when there is one.
set -u
cd "${1:?usage: check-layers.sh SOURCE_DIR}" || exit 2

found=0
# forbid FOLDER OTHER...: no file under FOLDER includes a header from any OTHER folder.
forbid()
{
    folder=$1
    shift
    for other in "$@"; do
        if grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<](\.\./)*$other/" \
            "$folder"; then
            found=1
        fi
    done
}

forbid serial app modem monitor
forbid modem app monitor
forbid monitor app modem

# serial/network/ stands on Qt Core and Network alone: no window, no command line, and
# nothing of serial/ but its own folder, so that the serial component can build on it.
forbid serial/network app cli modem monitor platform
include='[[:space:]]*#[[:space:]]*include[[:space:]]*["<]'
if grep -rnE "^$include(\.\./)*serial/" serial/network \
    | grep -vE "^[^:]*:[0-9]+:$include(\.\./)*serial/network/"; then
    found=1
fi
if grep -rnE "^${include}(Qt(Widgets|Gui|SerialPort)/|Q(Widget|SerialPort))" serial/network; then
    found=1
fi

if [ "$found" -ne 0 ]; then
    echo "The includes above point back up: app -> modem -> serial, app -> monitor -> serial;" \
        "serial/network stands on Qt Core and Network alone." >&2
    exit 1
fi
