#!/usr/bin/env bash
# Prints the simulated machine's state in a Wine prefix: every device of
# interest with its hardware IDs, driver, "PortName" and friendly name (every
# stored byte), the INF folder's ZAN*, OEM*, 1port\ and 4port\ files, and the
# RESULT markers. Handy on a test's prefix: tools/dump-state.sh build/e2e/win64/<test>/prefix
# The posmachine build of the prefix's architecture reads it (POSMACHINE overrides).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] && [ -d "$1/drive_c/windows" ] || { echo "usage: $0 <wine prefix>" >&2; exit 2; }
arch=win64
grep -qx '#arch=win32' "$1/system.reg" 2>/dev/null && arch=win32
WINEPREFIX=$(cd "$1" && pwd) WINEDEBUG=-all DISPLAY= timeout 60 \
    wine "${POSMACHINE:-$root/build/$arch/tools/posmachine/posmachine.exe}" dump
