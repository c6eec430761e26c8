#!/usr/bin/env bash
# Runs the end-to-end units of work side by side, at most E2E_JOBS at once,
# the longest first. A unit is one run under Wine with a name and an
# architecture (see units below), once with E2E_ARCH=win64 (the 64-bit program
# in 64-bit prefixes) and once with E2E_ARCH=win32 (the 32-bit program in
# 32-bit prefixes). Each run has its own
# prefix and X server. A run's output goes to build/e2e/<arch>/<name>.log,
# printed in full when it fails. Prints a result line per run as it ends,
# then the counts per architecture and "N passed, N failed"; exits non-zero
# on a failure.
#
#   run-all.sh [NAME_PART...]   only the units whose names hold one of them
#   run-all.sh --prefixes       only the template prefixes (see lib.sh), so
#                               that they are made while the programs build
#   E2E_ARCHS="win32"           only these architectures (default "win64 win32")
#   E2E_JOBS=N                  runs at once (default 4)
#   E2E_LEAVE_OUT="NAME..."     not these units (whole names)
#   E2E_RUN_SECONDS=N           a run still going after N seconds is ended
#                               and fails (default 600; the longest take ~1.5 min)
#
# Longest first: each run's time is kept in build/e2e/durations for the next
# time; until a unit has one, its time in tests/e2e/durations (measured on
# the 2-core machine, either architecture; copy build/e2e/durations there
# when the runs have changed much), else 60 s.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$root/build/e2e
archs=${E2E_ARCHS:-win64 win32}
. "$root/tools/wine-env.sh"
prefixes_only=0
[ "${1:-}" = --prefixes ] && prefixes_only=1 && shift
if [ "$WINE_ENV_RUNS_32BIT" = 0 ] && [[ " $archs " == *" win32 "* ]]; then
    archs=$(echo " $archs " | sed 's/ win32 / /; s/^ *//; s/ *$//')
    [ $prefixes_only = 1 ] ||
        echo "e2e: SKIPPED: every win32 run. This machine cannot start 32-bit programs (Wine's 32-bit loader" \
            "fails with 'Exec format error'), so neither the 32-bit program nor a 32-bit prefix can run here."
fi
# Nothing left to run (only win32 asked for, on such a machine): the skip said, done.
[ -n "${archs// /}" ] || exit 0
jobs_max=${E2E_JOBS:-4}
run_seconds=${E2E_RUN_SECONDS:-600}
durations=$work/durations
mkdir -p "$work"
touch "$durations"
now() { date +%s; }
started_at=$(now)

label() { [ "$1" = win64 ] && echo x64 || echo x86; }

# --- Template prefixes, one per architecture, before any run ----------------
pids=()
for arch in $archs; do
    E2E_ARCH=$arch bash -c '. "$1/lib.sh" && e2e_template_prefix' _ "$here" &
    pids+=($!)
done
for pid in "${pids[@]}"; do
    wait "$pid" || { echo "e2e: a template prefix could not be made" >&2; exit 1; }
done
[ $prefixes_only = 1 ] && exit 0

# --- The units, longest first ------------------------------------------------
# units: "NAME ARCH" a line: each test_NAME.sh but the scenarios' player, and
# each catalogue scenario that the Wine player plays, "scenario:<name>".
units() {
    local name arch
    for name in $(cd "$here" && ls test_*.sh | sed 's/^test_//; s/\.sh$//' | grep -vx scenarios) \
        $(awk '/^scenario: / { n = substr($0, 11) } /^players: / && / wine/ { print "scenario:" n }' \
            "$root/tests/scenarios/catalogue.txt"); do
        for arch in $archs; do echo "$name $arch"; done
    done
}

# play NAME: plays unit NAME (E2E_ARCH set) by exec'ing its script under the
# run's time limit, so that ending the run ends the script.
play() {
    case $1 in
        scenario:*) E2E_SCENARIO=${1#scenario:} exec timeout -k 20 "$run_seconds" bash "$here/test_scenarios.sh" ;;
        *) exec timeout -k 20 "$run_seconds" bash "$here/test_$1.sh" ;;
    esac
}

# seconds_of NAME ARCH: the unit's last time here, else its time measured
# on the 2-core machine, else 60.
seconds_of() {
    local s
    s=$(awk -v n="$1" -v a="$2" '$1 == n && $2 == a { s = $3 } END { print s + 0 }' "$durations")
    [ "$s" -gt 0 ] || s=$(awk -v n="$1" '$1 == n { s = $2 } END { print s + 0 }' "$here/durations" 2>/dev/null)
    [ "${s:-0}" -gt 0 ] || s=60
    echo "$s"
}

runs=()
while read -r name arch; do
    if [ $# -gt 0 ]; then
        match=0
        for want in "$@"; do [[ $name == *"$want"* ]] && match=1; done
        [ $match -eq 1 ] || continue
    fi
    [[ " ${E2E_LEAVE_OUT:-} " == *" $name "* ]] && continue
    runs+=("$(seconds_of "$name" "$arch") $name $arch")
done < <(units)
if [ ${#runs[@]} -eq 0 ]; then
    echo "no unit matches: $*" >&2
    exit 1
fi
mapfile -t runs < <(printf '%s\n' "${runs[@]}" | sort -k1,1nr -k2,2 -k3,3)

# --- Side by side -------------------------------------------------------------
declare -A run_of=() start_of=()
declare -A passed=() failed=() skipped=()
failed_names=()
for arch in $archs; do passed[$arch]=0 failed[$arch]=0 skipped[$arch]=0; done

stop_all() {
    local pid deadline=$(($(now) + 20))
    for pid in "${!run_of[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    # Each run tidies up its prefix and X server; one that does not in 20 s is killed.
    for pid in "${!run_of[@]}"; do
        while kill -0 "$pid" 2>/dev/null && [ "$(now)" -lt "$deadline" ]; do sleep 0.2; done
        kill -KILL "$pid" 2>/dev/null
    done
    exit 130
}
trap stop_all INT TERM

# finish_one: waits for the next run to end and reports it.
finish_one() {
    local pid status=0 name arch log seconds
    wait -n -p pid || status=$?
    read -r name arch <<<"${run_of[$pid]}"
    unset "run_of[$pid]"
    seconds=$(($(now) - start_of[$pid]))
    log=$work/$arch/$name.log
    if [ $status -eq 0 ]; then
        passed[$arch]=$((passed[$arch] + 1))
        echo "PASS [$name $(label "$arch")] ${seconds} s"
    elif [ $status -eq 77 ]; then
        skipped[$arch]=$((skipped[$arch] + 1))
        grep '^SKIP ' "$log" | tail -n 1
    else
        failed[$arch]=$((failed[$arch] + 1))
        failed_names+=("$name $(label "$arch")")
        [ $status -eq 124 ] && echo "(ended after its limit of $run_seconds s)" >>"$log"
        echo "FAIL [$name $(label "$arch")] ${seconds} s, exit status $status; its log ($log):"
        sed 's/^/    /' "$log"
    fi
    echo "$name $arch $seconds" >>"$durations"
}

for run in "${runs[@]}"; do
    read -r _ name arch <<<"$run"
    while [ ${#run_of[@]} -ge "$jobs_max" ]; do finish_one; done
    mkdir -p "$work/$arch"
    { export E2E_ARCH=$arch; play "$name"; } >"$work/$arch/$name.log" 2>&1 </dev/null &
    run_of[$!]="$name $arch"
    start_of[$!]=$(now)
done
while [ ${#run_of[@]} -gt 0 ]; do finish_one; done

# Only the latest time of each run is kept.
awk '{ t[$1 " " $2] = $3 } END { for (k in t) print k, t[k] }' "$durations" | sort >"$durations.new" &&
    mv "$durations.new" "$durations"

total_passed=0
total_failed=0
total_skipped=0
for arch in $archs; do
    echo "$(label "$arch"): ${passed[$arch]} passed, ${failed[$arch]} failed, ${skipped[$arch]} skipped"
    total_passed=$((total_passed + passed[$arch]))
    total_failed=$((total_failed + failed[$arch]))
    total_skipped=$((total_skipped + skipped[$arch]))
done
[ $total_failed -gt 0 ] && printf 'failed: %s\n' "${failed_names[@]}" >&2
echo "end-to-end: $((${#runs[@]})) runs, at most $jobs_max at once, in $(($(now) - started_at)) s"
echo "$total_passed passed, $total_failed failed, $total_skipped skipped"
[ $total_failed -eq 0 ] && [ $total_passed -gt 0 ]
