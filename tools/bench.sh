#!/usr/bin/env bash
# make bench: timing figures of the installer under Wine, measured in one go
# on a throwaway simulated machine (a private Xvfb display, a fresh prefix),
# for each architecture in turn: the 64-bit program in a 64-bit prefix, then
# the 32-bit program in a 32-bit prefix (BENCH_ARCHS="win64 win32" by default):
#
# 1. A full install ("INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL" on a
#    four-port machine with a base device): its time against the sum of its
#    mandated pauses (ten result lines of 2000 ms), both as the time the
#    window was open and as the process's wall time less that of an empty run
#    (Wine's process start and exit, the window's first tick).
# 2. The delay from the worker's end (its marker file appears) to the
#    window's close, over several runs.
# 3. The CPU the program's process, and Wine's server on its behalf, use
#    while the window waits at a question, with the per-thread split.
#
# Window events come from posmachine watch, which polls every 5 ms. Every
# wait has a time limit.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-env.sh"
archs=${BENCH_ARCHS:-win64 win32}
for arch in $archs; do
    for f in "$root/build/$arch/ZanDriverInstaller.exe" "$root/build/$arch/tools/posmachine/posmachine.exe"; do
        [ -f "$f" ] || { echo "bench: $f is missing; run make bench (or make windows) first" >&2; exit 1; }
    done
done
SAMPLE_SECONDS=${SAMPLE_SECONDS:-5}

work=$(mktemp -d /tmp/zan-bench.XXXXXX)
prefix=""
cleanup() {
    [ -z "$prefix" ] || wine_env_stop_wine "$prefix"
    wine_env_stop_xvfb
    wine_env_reap 10
    rm -rf "$work"
}
trap cleanup EXIT
export WINEDEBUG=-all
fail() { echo "bench: $*" >&2; exit 1; }

wine_env_start_xvfb "$work" || fail "no X server"

watch_args=()
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# event_ms LOG PATTERN: the watch's time of its first line matching PATTERN.
event_ms() { grep -E -m1 "^ *[0-9]+ $2" "$1" | awk '{ print $1 }'; }

# run NAME ARGUMENTS...: one run under the watch; sets wall_ms (the process's
# wall time) and leaves the watch's log in $work/NAME.watch. The watch ends
# itself after 120 s; the program and the watch are ended 30 s after that.
run() {
    local name=$1 watch_pid pid start
    shift
    wine "$posmachine" watch --timeout 120 "${watch_args[@]}" >"$work/$name.watch" 2>&1 &
    watch_pid=$!
    wine_env_wait_file "$work/$name.watch" 30 "$watch_pid" || fail "$name: the window watch did not start within 30 s"
    start=$(now_ms)
    wine "$exe" "$@" >/dev/null 2>&1 &
    pid=$!
    [ -n "${ON_START:-}" ] && "$ON_START" "$pid" "$work/$name.watch"
    wine_env_wait_pid "$pid" 150 || fail "$name: the program did not end within 150 s"
    wall_ms=$((WINE_ENV_ENDED_MS - start))
    wine_env_wait_pid "$watch_pid" 30 || fail "$name: the window watch did not end"
}

# close_delay NAME: milliseconds from the marker's appearance to the window's close.
close_delay() {
    local marker closed
    marker=$(event_ms "$work/$1.watch" 'markers RESULT')
    closed=$(event_ms "$work/$1.watch" 'window closed')
    echo $((closed - marker))
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# The server of this prefix: the wineserver whose working directory is the
# prefix's server directory (server-<device>-<inode> of the prefix).
server_pid() {
    local dir p
    dir=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
    for p in $(pgrep -x wineserver64 || true) $(pgrep -x wineserver32 || true) $(pgrep -x wineserver || true); do
        if [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$dir" ]; then
            echo "$p"
            return 0
        fi
    done
    return 0
}
ticks() { awk '{ print $14 + $15 }' "$1" 2>/dev/null || echo 0; }

# program_pid: the program's own process in this prefix. With 32-bit Wine
# installed, "wine" starts a 64-bit program through start.exe, which waits
# for it; the program is then not the process "wine" started.
program_pid() {
    local p
    for p in $(pgrep -f 'ZanDriverInstaller\.exe' || true); do
        [[ $(tr '\0' '\n' <"/proc/$p/cmdline" 2>/dev/null | head -n 1) == *ZanDriverInstaller.exe ]] || continue
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" || continue
        echo "$p"
        return 0
    done
    return 0
}

sample_question() {
    local log=$2 pid server i t0 t1 s0 s1 w0 w1 hz task
    for i in $(seq 1 200); do grep -q 'box caption' "$log" && break; sleep 0.05; done
    sleep 0.5
    pid=$(program_pid)
    [ -n "$pid" ] || { echo "bench: the program's process was not found" >&2; return 1; }
    server=$(server_pid)
    [ -n "$server" ] || { echo "bench: no wineserver found for $prefix" >&2; return 1; }
    hz=$(getconf CLK_TCK)
    declare -A before=()
    for task in /proc/"$pid"/task/*; do before[$task]=$(ticks "$task/stat"); done
    t0=$(ticks "/proc/$pid/stat"); s0=$(ticks "/proc/$server/stat"); w0=$(now_ms)
    sleep "$SAMPLE_SECONDS"
    t1=$(ticks "/proc/$pid/stat"); s1=$(ticks "/proc/$server/stat"); w1=$(now_ms)
    # Threads in the order they were made: the user-interface thread, the
    # wizard dismisser (started before the window), the worker (started by it).
    local wall=$((w1 - w0)) threads="" names=(UI dismisser worker) n=0 label
    for task in $(ls -d /proc/"$pid"/task/* | sort -t/ -k5 -n); do
        [ -n "${before[$task]:-}" ] || continue
        label=${names[$n]:-thread$n}
        n=$((n + 1))
        threads+=$(awk -v d=$(($(ticks "$task/stat") - before[$task])) -v hz="$hz" -v w="$wall" -v l="$label" \
            'BEGIN { printf "%s %.1f%%, ", l, 100 * d / hz / (w / 1000) }')
    done
    threads=${threads%, }
    awk -v p=$((t1 - t0)) -v s=$((s1 - s0)) -v hz="$hz" -v w="$wall" -v th="$threads" 'BEGIN {
        printf "  ZanDriverInstaller.exe  %5.1f %% of one core   (threads: %s)\n", 100 * p / hz / (w / 1000), th
        printf "  wineserver              %5.1f %% of one core\n", 100 * s / hz / (w / 1000)
        printf "  sampled over %.1f s, at the first question\n", w / 1000
    }' >"$work/cpu.txt"
}

# bench ARCH: the three figures for the program of ARCH in a prefix of ARCH,
# printed under a heading once measured.
bench() {
    local arch=$1 name pauses_ms install_wall shown closed open_ms empty_total empty_ms net_ms k
    local -a delays
    name=$([ "$arch" = win64 ] && echo "x64: the 64-bit program in a 64-bit prefix" ||
        echo "x86: the 32-bit program in a 32-bit prefix")
    exe=$root/build/$arch/ZanDriverInstaller.exe
    posmachine=$root/build/$arch/tools/posmachine/posmachine.exe
    prefix=$work/prefix-$arch
    export WINEPREFIX=$prefix WINEARCH=$arch

    echo "bench: $arch: making a Wine prefix and a four-port machine (wineboot takes a while)" >&2
    POSMACHINE=$posmachine "$root/tools/provision.sh" --new "$prefix" full4 >/dev/null
    # Wine's services up before anything is timed.
    timeout "$WINE_ENV_CALL_SECONDS" wine cmd.exe /c exit 0 >/dev/null 2>&1

    # --- 1. The install against its pauses ----------------------------------------
    echo "bench: $arch: full install (about 20 s)" >&2
    pauses_ms=20000
    run install INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL
    install_wall=$wall_ms
    shown=$(event_ms "$work/install.watch" 'window shown')
    closed=$(event_ms "$work/install.watch" 'window closed')
    open_ms=$((closed - shown))
    delays=("$(close_delay install)")

    empty_total=0
    for k in 1 2 3; do
        run empty
        empty_total=$((empty_total + wall_ms))
    done
    empty_ms=$((empty_total / 3))
    net_ms=$((install_wall - empty_ms))

    # --- 2. The window's close after the worker's end -----------------------------
    echo "bench: $arch: uninstall runs" >&2
    for k in 1 2 3 4 5; do
        run "uninstall$k" UNINSTALL
        delays+=("$(close_delay "uninstall$k")")
    done

    # --- 3. CPU while a question waits --------------------------------------------
    echo "bench: $arch: CPU at a question ($SAMPLE_SECONDS s)" >&2
    POSMACHINE=$posmachine "$root/tools/provision.sh" "$prefix" full4 >/dev/null
    # Each question is answered No once it has waited long enough for the
    # sample; the run then installs the one-port card and Serial Port C.
    watch_args=(--hold $(((SAMPLE_SECONDS + 1) * 1000))
        --answer "Install the Base Device Driver?=no" --answer "Install the Marovel RS-232 Driver?=no")
    ON_START=sample_question run question INSTALL
    watch_args=()

    # --- Report -------------------------------------------------------------------
    echo
    echo "== $name"
    echo "Install: INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL on a four-port machine with a base device"
    echo "  mandated pauses                       $pauses_ms ms (10 result lines x 2000 ms)"
    echo "  window open (shown to closed)         $open_ms ms    ratio $(ratio "$open_ms" "$pauses_ms")"
    echo "  process wall time                     $install_wall ms"
    echo "  empty run (Wine start, 1 tick, exit)  $empty_ms ms (mean of 3)"
    echo "  wall time less the empty run          $net_ms ms    ratio $(ratio "$net_ms" "$pauses_ms")   (target < 1.05)"
    echo "Window close after the worker's end (marker file appears -> window gone)"
    printf '%s\n' "${delays[@]}" | awk '{ s += $1; if ($1 > m) m = $1; n++; v = v $1 " " }
        END { printf "  %d runs: %s ms; mean %.0f ms, max %d ms   (target <= 150 ms)\n", n, v, s / n, m }'
    echo "CPU while the window waits at a question"
    cat "$work/cpu.txt"
    wine_env_stop_wine "$prefix"
}

for arch in $archs; do bench "$arch"; done
