#!/usr/bin/env bash
# make demo: the installer under Wine on a simulated point-of-sale machine.
#
# Builds what it runs (make demo-programs: the 64-bit program and posmachine)
# while a throwaway 64-bit Wine prefix makes its first start (wineboot), then
# arranges a four-port machine with a base device in it (tools/provision.sh),
# and runs
#   ZanDriverInstaller.exe INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
# then
#   ZanDriverInstaller.exe UNINSTALL
# showing the machine before and after, the status lines as the progress window
# shows them, the program's debugger trace and its exit code. The window runs
# on the display in DISPLAY when one is set, else on a private Xvfb. A
# screenshot of the progress window goes to build/demo/progress-window.png.
#
#   tools/demo.sh [--screenshot FILE]
#
# --screenshot FILE  the screenshot goes to FILE instead (make screenshot
#                    refreshes the README's picture so), and a run that takes
#                    none fails
#
# Every wait has a time limit. KEEP=1 keeps the prefix and logs (the script
# says where).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-env.sh"
exe=$root/build/win64/ZanDriverInstaller.exe
posmachine=$root/build/win64/tools/posmachine/posmachine.exe
shot=$root/build/demo/progress-window.png
shot_required=0
if [ "${1:-}" = --screenshot ] && [ $# -eq 2 ]; then
    shot=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
    shot_required=1
elif [ $# -ne 0 ]; then
    echo "usage: $0 [--screenshot FILE]" >&2
    exit 2
fi
caption='ZAN 7350-21X PCI Serial Port and Base Device Driver v1.0'
# Limits in seconds: the window watch ends itself after watch_seconds; a run
# of the program or its watch gets a little longer before it is ended.
watch_seconds=120
run_seconds=150

work=$(mktemp -d /tmp/zan-demo.XXXXXX)
prefix=$work/prefix
watch_pid=""
prefix_pid=""
cleanup() {
    if [ -n "$watch_pid" ]; then kill "$watch_pid" 2>/dev/null || true; fi
    # A prefix still being made is removed by its maker when it is ended.
    if [ -n "$prefix_pid" ]; then kill "$prefix_pid" 2>/dev/null || true; fi
    wine_env_stop_wine "$prefix"
    wine_env_stop_xvfb
    wine_env_reap 10
    if [ "${KEEP:-0}" = 1 ]; then echo "(kept: $work)"; else rm -rf "$work"; fi
}
trap cleanup EXIT

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
section() { printf '\n== %s\n' "$*"; }
fail() { echo "demo: $*" >&2; exit 1; }

# The machine's state, shortened to what a person looks at: each device with
# its hardware IDs, driver, port name and friendly name; the INF files; the markers.
show_machine() {
    timeout "$WINE_ENV_CALL_SECONDS" wine "$posmachine" dump | awk '
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
    wine "$posmachine" watch --timeout "$watch_seconds" --answer "$caption=ok" >"$work/$name.watch" 2>&1 &
    watch_pid=$!
    wine_env_wait_file "$work/$name.watch" 30 "$watch_pid" ||
        fail "the window watch did not start within 30 s"
    WINEDEBUG=+debugstr wine "$exe" "$@" >/dev/null 2>"$work/$name.trace" &
    local pid=$!
    echo "  progress window (milliseconds since the watch began):"
    timeout "$run_seconds" tail -n +2 -f --pid="$watch_pid" "$work/$name.watch" | sed -u 's/^/    /' || true
    wine_env_wait_pid "$watch_pid" 10 || fail "the window watch did not end"
    watch_pid=""
    wine_env_wait_pid "$pid" 30 || fail "the program did not end with its window"
    status=$WINE_ENV_STATUS
    echo "  trace (debugger output, as Wine prints it):"
    sed -n 's/^[0-9a-f]*:warn:debugstr:OutputDebugStringA /    /p' "$work/$name.trace"
    echo "  exit code: $status"
}

# take_screenshot WATCH_LOG PATTERN: once the window shows a status line
# matching PATTERN, a PNG of the window alone.
take_screenshot() {
    local log=$1 pattern=$2 geometry deadline=$(($(wine_env_now_ms) + 60000))
    until grep -q "status \"$pattern" "$log" 2>/dev/null; do
        [ "$(wine_env_now_ms)" -lt "$deadline" ] || return 0
        sleep 0.05
    done
    geometry=$(sed -n 's/.*window shown at \([0-9-]*\),\([0-9-]*\) size \([0-9]*\)x\([0-9]*\).*/\3x\4+\1+\2/p' "$log" | head -n 1)
    [ -n "$geometry" ] || return 0
    timeout 30 xwd -root -silent | timeout 30 convert xwd:- -crop "$geometry" +repage "png:$work/shot.png" || rm -f "$work/shot.png"
}

section "A simulated four-port point-of-sale machine under Wine"
if [ -n "${DISPLAY:-}" ]; then
    echo "  display: $DISPLAY (yours)"
else
    wine_env_start_xvfb "$work" || fail "no X server"
    echo "  display: Xvfb $DISPLAY (headless)"
fi
echo "  Wine prefix: $prefix (wineboot, while the programs build)"
wine_env_make_prefix "$prefix" win64 >"$work/prefix.log" 2>&1 &
prefix_pid=$!
make -C "$root" --no-print-directory demo-programs | sed -u 's/^/  /' || fail "the programs did not build"
# Each step of the maker has its own limit (wine-env.sh); this one is their sum.
wine_env_wait_pid "$prefix_pid" "$((WINE_ENV_BOOT_SECONDS + 2 * WINE_ENV_CALL_SECONDS))" ||
    fail "the Wine prefix was not made in time"
prefix_pid=""
[ "$WINE_ENV_STATUS" = 0 ] || { cat "$work/prefix.log" >&2; fail "no Wine prefix"; }
"$root/tools/provision.sh" "$prefix" full4 >/dev/null
echo "  machine: base device, four-port card, Serial Ports C to F; driver INF files in C:\\windows\\inf"

section "The machine before the install"
show_machine

take_screenshot "$work/install.watch" "Mapping Serial Port C to COM3" &
shot_pid=$!
run_program install INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
wine_env_wait_pid "$shot_pid" 70 || true
section "The machine after the install"
show_machine

run_program uninstall UNINSTALL
section "The machine after the uninstall"
show_machine

if [ -s "$work/shot.png" ]; then
    mkdir -p "$(dirname "$shot")"
    cp "$work/shot.png" "$shot.partial"
    mv -f "$shot.partial" "$shot"
    section "Screenshot of the progress window: ${shot#$root/}"
else
    section "No screenshot was taken"
    [ $shot_required = 0 ] || fail "no screenshot for $shot"
fi
