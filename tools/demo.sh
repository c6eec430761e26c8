#!/usr/bin/env bash
# make demo: the installer under Wine on a simulated point-of-sale machine.
#
# Makes a throwaway Wine prefix, arranges a four-port machine with a base
# device in it (tools/provision.sh), and runs
#   ZanDriverInstaller.exe INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
# then
#   ZanDriverInstaller.exe UNINSTALL
# showing the machine before and after, the status lines as the progress window
# shows them, the program's debugger trace and its exit code. The window runs
# on the display in DISPLAY when one is set, else on a private Xvfb. A
# screenshot of the progress window goes to docs/progress-window.png.
#
# KEEP=1 keeps the prefix and logs (the script says where).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build/win64/ZanDriverInstaller.exe
posmachine=$root/build/win64/tools/posmachine/posmachine.exe
shot=$root/docs/progress-window.png
caption='ZAN 7350-21X PCI Serial Port and Base Device Driver v1.0'
for f in "$exe" "$posmachine"; do
    [ -f "$f" ] || { echo "demo: $f is missing; run make demo (or make win64) first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/zan-demo.XXXXXX)
prefix=$work/prefix
xvfb_pid="" watch_pid=""
cleanup() {
    [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null || true
    if [ "${KEEP:-0}" = 1 ]; then echo "(kept: $work)"; else rm -rf "$work"; fi
}
trap cleanup EXIT

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
section() { printf '\n== %s\n' "$*"; }

# The machine's state, shortened to what a person looks at: each device with
# its hardware IDs, driver, port name and friendly name; the INF files; the markers.
show_machine() {
    wine "$posmachine" dump | awk '
        /^device / { print "  " substr($0, 8); next }
        /^  hardware-id / { print "      id           " substr($0, 15); next }
        /^  driver\.InfPath / { inf = substr($0, 18); next }
        /^  driver\.InfSection / { s = substr($0, 21); gsub(/"/, "", s); gsub(/"/, "", inf); print "      driver       " inf " [" s "]"; next }
        /^  port-name / { print "      PortName     " substr($0, 13); next }
        /^  friendly-name / { print "      FriendlyName " substr($0, 17); next }
        /^file / { files = files "  " substr($0, 6) "\n"; next }
        /^marker / { markers = markers "  " substr($0, 8) "\n"; next }
        END { printf "  INF folder (C:\\windows\\inf):\n%s  markers (C:\\windows):\n%s", files, markers }
    ' | sed 's/^  INF folder/\n  INF folder/'
}

# run_program NAME ARGUMENTS...: runs the program while following its window;
# prints the status lines as they change, then the trace and the exit code.
run_program() {
    local name=$1 status=0
    shift
    section "ZanDriverInstaller.exe $*"
    : >"$work/$name.watch"
    wine "$posmachine" watch --timeout 120 --answer "$caption=ok" >"$work/$name.watch" 2>&1 &
    watch_pid=$!
    while [ ! -s "$work/$name.watch" ]; do sleep 0.05; done
    WINEDEBUG=+debugstr wine "$exe" "$@" >/dev/null 2>"$work/$name.trace" &
    local pid=$!
    echo "  progress window (milliseconds since the watch began):"
    tail -n +2 -f --pid="$watch_pid" "$work/$name.watch" | sed -u 's/^/    /'
    wait "$pid" || status=$?
    watch_pid=""
    echo "  trace (debugger output, as Wine prints it):"
    sed -n 's/^[0-9a-f]*:warn:debugstr:OutputDebugStringA /    /p' "$work/$name.trace"
    echo "  exit code: $status"
}

# take_screenshot WATCH_LOG PATTERN: once the window shows a status line
# matching PATTERN, a PNG of the window alone.
take_screenshot() {
    local log=$1 pattern=$2 geometry i
    for i in $(seq 1 600); do
        grep -q "status \"$pattern" "$log" 2>/dev/null && break
        sleep 0.05
    done
    geometry=$(sed -n 's/.*window shown at \([0-9-]*\),\([0-9-]*\) size \([0-9]*\)x\([0-9]*\).*/\3x\4+\1+\2/p' "$log" | head -n 1)
    [ -n "$geometry" ] || return 0
    mkdir -p "$(dirname "$shot")"
    xwd -root -silent | convert xwd:- -crop "$geometry" +repage "png:$shot" && echo "$shot" >"$work/shot.done"
}

section "A simulated four-port point-of-sale machine under Wine"
if [ -n "${DISPLAY:-}" ]; then
    echo "  display: $DISPLAY (yours)"
else
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for i in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=:$(tr -d '[:space:]' <"$work/display")
    echo "  display: Xvfb $DISPLAY (headless)"
fi
echo "  Wine prefix: $prefix (wineboot; this takes a little while)"
"$root/tools/provision.sh" --new "$prefix" full4 >/dev/null
echo "  machine: base device, four-port card, Serial Ports C to F; driver INF files in C:\\windows\\inf"

section "The machine before the install"
show_machine

take_screenshot "$work/install.watch" "Mapping Serial Port C to COM3" &
shot_pid=$!
run_program install INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
wait "$shot_pid" || true
section "The machine after the install"
show_machine

run_program uninstall UNINSTALL
section "The machine after the uninstall"
show_machine

if [ -f "$work/shot.done" ]; then
    section "Screenshot of the progress window: ${shot#$root/}"
else
    section "No screenshot was taken"
fi
