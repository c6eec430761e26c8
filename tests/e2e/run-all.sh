#!/usr/bin/env bash
# Runs every tests/e2e/test_*.sh once per architecture: E2E_ARCH=win64 (the
# 64-bit program in 64-bit prefixes) and E2E_ARCH=win32 (the 32-bit program
# in 32-bit prefixes). The runs go side by side, at most E2E_JOBS at once:
# each has its own prefix and X server, and most of a run's time is the
# program's own pauses. A run's output goes to build/e2e/<arch>/<test>.log,
# printed in full when it fails. Prints a result line per run as it ends,
# then the counts per architecture and "N passed, N failed"; exits non-zero
# on a failure.
#
#   run-all.sh [NAME_PART...]   only the tests whose names hold one of them
#   E2E_ARCHS="win32"           only these architectures (default "win64 win32")
#   E2E_JOBS=N                  runs at once (default 4)
#   E2E_RUN_SECONDS=N           a run still going after N seconds is ended
#                               and fails (default 600; the longest take ~1 min)
#
# The longest runs start first: each run's time is kept in
# build/e2e/durations for the next time (until then, the longer script first).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$root/build/e2e
archs=${E2E_ARCHS:-win64 win32}
. "$root/tools/wine-env.sh"
if [ "$WINE_ENV_RUNS_32BIT" = 0 ] && [[ " $archs " == *" win32 "* ]]; then
    archs=$(echo " $archs " | sed 's/ win32 / /; s/^ *//; s/ *$//')
    echo "e2e: SKIPPED: every win32 run. This machine cannot start 32-bit programs (Wine's 32-bit loader" \
        "fails with 'Exec format error'), so neither the 32-bit program nor a 32-bit prefix can run here."
fi
jobs_max=${E2E_JOBS:-4}
run_seconds=${E2E_RUN_SECONDS:-600}
durations=$work/durations
mkdir -p "$work"
touch "$durations"
now() { date +%s; }
started_at=$(now)

label() { [ "$1" = win64 ] && echo x64 || echo x86; }

# --- The runs, longest first ------------------------------------------------
runs=()
for test in "$here"/test_*.sh; do
    name=$(basename "$test" .sh)
    if [ $# -gt 0 ]; then
        match=0
        for want in "$@"; do [[ $name == *"$want"* ]] && match=1; done
        [ $match -eq 1 ] || continue
    fi
    for arch in $archs; do
        # The last time measured, else the script's size as a guess.
        seconds=$(awk -v n="$name" -v a="$arch" '$1 == n && $2 == a { s = $3 } END { print s + 0 }' "$durations")
        [ "$seconds" -gt 0 ] || seconds=$(($(wc -l <"$test") / 10))
        runs+=("$seconds $name $arch")
    done
done
if [ ${#runs[@]} -eq 0 ]; then
    echo "no test matches: $*" >&2
    exit 1
fi
mapfile -t runs < <(printf '%s\n' "${runs[@]}" | sort -k1,1nr -k2,2 -k3,3)

# --- Template prefixes, one per architecture, before any run ----------------
pids=()
for arch in $archs; do
    E2E_ARCH=$arch bash -c '. "$1/lib.sh" && e2e_template_prefix' _ "$here" &
    pids+=($!)
done
for pid in "${pids[@]}"; do
    wait "$pid" || { echo "e2e: a template prefix could not be made" >&2; exit 1; }
done

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
    log=$work/$arch/${name#test_}.log
    if [ $status -eq 0 ]; then
        passed[$arch]=$((passed[$arch] + 1))
        echo "PASS [${name#test_} $(label "$arch")] ${seconds} s"
    elif [ $status -eq 77 ]; then
        skipped[$arch]=$((skipped[$arch] + 1))
        grep '^SKIP ' "$log" | tail -n 1
    else
        failed[$arch]=$((failed[$arch] + 1))
        failed_names+=("${name#test_} $(label "$arch")")
        [ $status -eq 124 ] && echo "(ended after its limit of $run_seconds s)" >>"$log"
        echo "FAIL [${name#test_} $(label "$arch")] ${seconds} s, exit status $status; its log ($log):"
        sed 's/^/    /' "$log"
    fi
    echo "$name $arch $seconds" >>"$durations"
}

for run in "${runs[@]}"; do
    read -r _ name arch <<<"$run"
    while [ ${#run_of[@]} -ge "$jobs_max" ]; do finish_one; done
    mkdir -p "$work/$arch"
    E2E_ARCH=$arch timeout -k 20 "$run_seconds" bash "$here/$name.sh" >"$work/$arch/${name#test_}.log" 2>&1 </dev/null &
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
