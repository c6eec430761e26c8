#!/usr/bin/env bash
# Prints the simulated machine's state in a Wine prefix: every device of
# interest with its hardware IDs, driver, "PortName" and friendly name (every
# stored byte), the INF folder's ZAN*, OEM*, 1port\ and 4port\ files, and the
# RESULT markers. Handy on a test's prefix: tools/dump-state.sh build/e2e/<test>/prefix
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] && [ -d "$1/drive_c/windows" ] || { echo "usage: $0 <wine prefix>" >&2; exit 2; }
WINEPREFIX=$(cd "$1" && pwd) WINEDEBUG=-all DISPLAY= timeout 60 \
    wine "${POSMACHINE:-$root/build/win64/tools/posmachine/posmachine.exe}" dump
