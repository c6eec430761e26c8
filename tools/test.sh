#!/usr/bin/env bash
# make test: every build and every suite, in two lanes side by side, so that
# both cores have work from start to end:
#
#   Windows lane: the 64-bit build, then its end-to-end runs under Wine
#                 (run-all.sh, E2E_JOBS at once) while the 32-bit build is
#                 made beside them, then the 32-bit runs; the template Wine
#                 prefixes are made beside the 64-bit build
#   native lane:  the ASan+UBSan build, then its suite beside the TSan build,
#                 then the TSan suite (the plain build, make unit, runs the
#                 same suite without the sanitizers' checks: make test leaves
#                 it out)
#
# The native builds run at a lower priority (nice): the Windows builds are
# what the Wine runs wait for, and the Wine runs, whose checks include
# times, get the cores first; the native builds take what is left (a niced
# process still takes a core nothing else wants), all of it once the Windows
# lane is done. The native suites, whose checks include times too, run at
# the usual priority, ahead of a build beside them.
#
# Each phase prints a line when it starts and one when it ends, the Wine
# runs a line per run; its output goes to build/test/<phase>.log (a build's
# compiler output to <build>/build.log). A failed phase's output is printed
# at the end (a failed Wine run's log at once, by run-all.sh), then the time
# of every phase, then the total. Exits non-zero when any phase failed.
#
#   JOBS=N       compiler processes and ctest processes per lane (default nproc)
#   E2E_JOBS=N   Wine runs at once (default 4)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
export E2E_JOBS=${E2E_JOBS:-4}
out=build/test
started=$(date +%s)

elapsed() { echo $(($(date +%s) - started)); }
# say PHASE TEXT: one line of progress.
say() { printf '%5s s  %-14s %s\n' "$(elapsed)" "$1" "$2"; }

# Each phase leaves a line in build/test/phases: NAME START SECONDS RESULT.
# phase NAME COMMAND...: runs COMMAND, its output into build/test/NAME.log.
phase() {
    local name=$1 from status=0
    shift
    from=$(elapsed)
    say "$name" started
    "$@" >"$out/$name.log" 2>&1 </dev/null || status=$?
    record "$name" "$from" "$status"
    return "$status"
}
record() {
    local took=$(($(elapsed) - $2)) result=passed
    [ "$3" = 0 ] || result=FAILED
    [ "$3" = skipped ] && result="not run"
    echo "$1 $2 $took $result" >>"$out/phases"
    if [ "$result" = passed ]; then
        say "$1" "done in $took s"
    else
        say "$1" "$result after $took s"
    fi
}

# make_target TARGET: a target of the Makefile, quietly.
make_target() { make -s --no-print-directory "$1" JOBS="$jobs"; }

windows_lane() {
    local prefixes ready=0 status=0 win32
    phase wine-prefixes tests/e2e/run-all.sh --prefixes &
    prefixes=$!
    phase win64-build make_target win64 || ready=1
    wait "$prefixes" || ready=1
    # The 64-bit runs start as soon as their program exists. Beside them the
    # 32-bit build, then the run of the dist, which packs both programs; the
    # 32-bit runs come last. The side job ends 2 when the 32-bit build failed.
    (
        phase win32-build make_target win32 || { record dist-runs "$(elapsed)" skipped; exit 2; }
        wine_runs dist "$ready" win64 dist
    ) &
    win32=$!
    E2E_LEAVE_OUT=dist wine_runs win64 "$ready" win64 || status=1
    wait "$win32"
    case $? in
        0) ;;
        2) status=1 ready=1 ;;
        *) status=1 ;;
    esac
    wine_runs win32 "$ready" win32 || status=1
    [ $ready = 0 ] || status=1
    return "$status"
}

# wine_runs PHASE READY ARCH [UNIT...]: the Wine runs of ARCH (those units
# only, when named) as phase "PHASE-runs", unless READY is not 0 (a build
# they need failed). Their own lines as they come; all of their output in
# build/test/PHASE-runs.log.
wine_runs() {
    local phase=$1-runs ready=$2 arch=$3 from status
    shift 3
    if [ "$ready" != 0 ]; then
        record "$phase" "$(elapsed)" skipped
        return 1
    fi
    from=$(elapsed)
    say "$phase" "started, at most $E2E_JOBS at once"
    E2E_ARCHS=$arch tests/e2e/run-all.sh "$@" </dev/null 2>&1 | tee "$out/$phase.log" |
        while IFS= read -r line; do say "$phase" "$line"; done
    status=${PIPESTATUS[0]}
    record "$phase" "$from" "$status"
    return "$status"
}

# sanitizer_build KIND: the KIND build (asan or tsan), niced.
sanitizer_build() { nice -n 10 make -s --no-print-directory "$1-build" JOBS="$jobs"; }

# The ASan+UBSan build, then its suite beside the TSan build, then the TSan
# suite: one build at a time, and each suite as soon as its build is done.
native_lane() {
    local status=0 asan=""
    if phase asan-build sanitizer_build asan; then
        phase asan-suite make_target asan-suite &
        asan=$!
    else
        status=1
        record asan-suite "$(elapsed)" skipped
    fi
    if phase tsan-build sanitizer_build tsan; then
        phase tsan-suite make_target tsan-suite || status=1
    else
        status=1
        record tsan-suite "$(elapsed)" skipped
    fi
    [ -z "$asan" ] || wait "$asan" || status=1
    return $status
}

mkdir -p "$out"
rm -f "$out"/*.log "$out/phases"
if ! tools/install-deps.sh; then
    echo "make test: FAILED: the packages could not be installed" >&2
    exit 1
fi
say "make test" "JOBS=$jobs per lane, E2E_JOBS=$E2E_JOBS"

# Each lane a process group of its own (job control), so that an interrupt
# reaches all of a lane's processes: run-all.sh then tidies up its runs.
set -m
windows_lane &
windows=$!
native_lane &
native=$!
set +m
trap 'kill -TERM -- -$windows -$native 2>/dev/null; wait; echo "make test: interrupted" >&2; exit 130' INT TERM
status=0
wait $windows || status=1
wait $native || status=1

# The output of every failed phase but the Wine runs (their logs came as they failed).
while read -r name _ _ result; do
    [ "$result" = FAILED ] && [[ $name != *-runs ]] || continue
    echo
    echo "==== $name failed; its output ($out/$name.log):"
    cat "$out/$name.log"
done <"$out/phases"

echo
echo "make test: phase times (seconds from the start, and taken)"
sort -k2,2n "$out/phases" | awk '{ printf "  %-14s at %4d s  %4d s  %s\n", $1, $2, $3, substr($0, index($0, $4)) }'
took=$(elapsed)
took="$((took / 60)) min $((took % 60)) s"
if [ $status = 0 ]; then
    echo "make test: all suites passed; wall time $took"
else
    echo "make test: FAILED; wall time $took"
fi
exit $status
