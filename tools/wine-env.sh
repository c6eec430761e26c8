# Xvfb and Wine prefixes for the scripts that run Windows programs under
# Wine: the demo, the benchmark, provisioning and the end-to-end tests.
# Source it (bash):
#
#   . "$root/tools/wine-env.sh"
#   wine_env_start_xvfb "$work" || exit 1         # a private X server; sets DISPLAY
#   wine_env_make_prefix "$work/prefix" win64 || exit 1
#   WINEPREFIX=$work/prefix wine ...
#   wine_env_stop_wine "$work/prefix"             # at the end, e.g. in an EXIT trap
#   wine_env_stop_xvfb
#   wine_env_reap 10
#
# Every wait here has a time limit. A function that fails says why on stderr,
# in a line that begins with "wine-env:", and returns non-zero. Nothing here
# sets a trap in the caller's shell or exits it, and every function may be
# called under set -euo pipefail.

WINE_ENV_XVFB_PID=""
WINE_ENV_STATUS=""
WINE_ENV_ENDED_MS=""
WINE_ENV_DOG_PID=""
# Time limits in seconds: Xvfb's display, one wineboot of a new prefix (about
# 10 s, far longer on a busy machine), any other single Wine call here.
WINE_ENV_XVFB_SECONDS=${WINE_ENV_XVFB_SECONDS:-20}
WINE_ENV_BOOT_SECONDS=${WINE_ENV_BOOT_SECONDS:-300}
WINE_ENV_CALL_SECONDS=${WINE_ENV_CALL_SECONDS:-60}

# --- 32-bit programs ----------------------------------------------------------

# Some machines cannot start any 32-bit program (a kernel or sandbox without
# 32-bit support: "Exec format error"), Wine's 32-bit loader included. Wine's
# own launchers try that loader first and fail there even for a 64-bit
# prefix. On such a machine WINE_ENV_RUNS_32BIT is 0 and `wine`, `wine-stable`
# (and so `wineboot`) reach the 64-bit loader through stand-ins put first on
# PATH: 64-bit prefixes and programs work, 32-bit ones cannot.
WINE_ENV_RUNS_32BIT=1
if [ -e /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
    WINE_ENV_RUNS_32BIT=0
    wine_env_shims=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine64-only
    if [ ! -x "$wine_env_shims/wine-stable" ]; then
        mkdir -p "$wine_env_shims"
        for wine_env_name in wine wine-stable; do
            printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\n[ -n "$WINEDEBUG" ] || export WINEDEBUG=fixme-all\nexec /usr/lib/wine/wine64 "$@"\n' \
                >"$wine_env_shims/$wine_env_name.$$"
            chmod +x "$wine_env_shims/$wine_env_name.$$"
            mv -f "$wine_env_shims/$wine_env_name.$$" "$wine_env_shims/$wine_env_name"
        done
    fi
    case ":$PATH:" in *":$wine_env_shims:"*) ;; *) export PATH=$wine_env_shims:$PATH ;; esac
fi
export WINE_ENV_RUNS_32BIT

# --- Waiting -----------------------------------------------------------------

# wine_env_now_ms: the time in milliseconds.
wine_env_now_ms() { echo $(($(date +%s%N) / 1000000)); }

# wine_env_wait_pid PID SECONDS: waits for PID, a background job of this
# shell, as precisely as wait does. Returns 0 once it has ended, with its exit
# status in WINE_ENV_STATUS and the time it was seen to end in
# WINE_ENV_ENDED_MS (wine_env_now_ms). When it still runs after SECONDS, ends
# it (TERM, then KILL two seconds later), sets WINE_ENV_STATUS to "" and
# returns 1.
wine_env_wait_pid() {
    local pid=$1 limit=$2 dog status=0 dog_status=0
    # The watchdog ends its own sleep when it is told to stop, so that no
    # stray sleep outlives the wait; it exits with 124 once time has run out.
    (
        set +e
        s="" code=0
        trap '[ -n "$s" ] && kill "$s" 2>/dev/null; exit $code' TERM
        sleep "$limit" & s=$!
        wait "$s"
        code=124
        kill -TERM "$pid" 2>/dev/null
        sleep 2 & s=$!
        wait "$s"
        kill -KILL "$pid" 2>/dev/null
        exit 124
    ) >/dev/null 2>&1 &
    dog=$!
    WINE_ENV_DOG_PID=$dog # for wine_env_reap, should a trap cut this wait short
    wait "$pid" || status=$?
    WINE_ENV_ENDED_MS=$(wine_env_now_ms)
    kill -TERM "$dog" 2>/dev/null || true
    wait "$dog" || dog_status=$?
    WINE_ENV_DOG_PID=""
    if [ "$dog_status" = 124 ]; then
        WINE_ENV_STATUS=""
        return 1
    fi
    WINE_ENV_STATUS=$status
    return 0
}

# wine_env_wait_file FILE SECONDS [PID]: waits until FILE is not empty.
# Returns 1 after SECONDS, or as soon as PID (when given) has ended without it.
wine_env_wait_file() {
    local file=$1 deadline=$(($(wine_env_now_ms) + $2 * 1000)) pid=${3:-}
    until [ -s "$file" ]; do
        if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
            [ -s "$file" ]
            return
        fi
        if [ "$(wine_env_now_ms)" -ge "$deadline" ]; then return 1; fi
        sleep 0.05
    done
    return 0
}

# wine_env_reap SECONDS: waits for every background job of this shell, each
# ended after SECONDS at most. Meant for an EXIT trap, after the caller has
# ended what it started.
wine_env_reap() {
    local pid
    if [ -n "$WINE_ENV_DOG_PID" ]; then kill -TERM "$WINE_ENV_DOG_PID" 2>/dev/null || true; fi
    for pid in $(jobs -p); do
        wine_env_wait_pid "$pid" "$1" || echo "wine-env: process $pid did not end within $1 s; ended it" >&2
    done
    return 0
}

# --- The X server ------------------------------------------------------------

# wine_env_start_xvfb DIR [SECONDS]: starts an X server of this shell's own
# (Xvfb on a free display, 1024x768, no TCP), its log in DIR/xvfb.log, and
# exports DISPLAY. Fails when no display is given within SECONDS (default
# WINE_ENV_XVFB_SECONDS) or Xvfb ends first; the server is then gone.
wine_env_start_xvfb() {
    local dir=$1 limit=${2:-$WINE_ENV_XVFB_SECONDS} number code=0
    local fdfile=$1/xvfb.display log=$1/xvfb.log
    : >"$fdfile"
    # -displayfd: Xvfb picks a free display and writes its number once it
    # accepts clients.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >"$log" 2>&1 &
    WINE_ENV_XVFB_PID=$!
    if ! wine_env_wait_file "$fdfile" "$limit" "$WINE_ENV_XVFB_PID"; then
        if kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null; then
            echo "wine-env: Xvfb gave no display within $limit s (log: $log)" >&2
        else
            wait "$WINE_ENV_XVFB_PID" || code=$?
            echo "wine-env: Xvfb ended with exit code $code before it gave a display (log: $log)" >&2
        fi
        sed -n '1,5s/^/wine-env:   /p' "$log" >&2 || true
        wine_env_stop_xvfb
        return 1
    fi
    number=$(tr -d '[:space:]' <"$fdfile")
    case $number in
        '' | *[!0-9]*)
            echo "wine-env: Xvfb gave no display number but '$number'" >&2
            wine_env_stop_xvfb
            return 1
            ;;
    esac
    export DISPLAY=:$number
}

# wine_env_stop_xvfb: ends the X server wine_env_start_xvfb started, if any.
wine_env_stop_xvfb() {
    [ -n "$WINE_ENV_XVFB_PID" ] || return 0
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    wine_env_wait_pid "$WINE_ENV_XVFB_PID" 5 || echo "wine-env: Xvfb did not end within 5 s; killed it" >&2
    WINE_ENV_XVFB_PID=""
    return 0
}

# --- Wine prefixes -------------------------------------------------------------

# wine_env_stop_wine PREFIX: ends every Wine process of PREFIX and its server.
wine_env_stop_wine() {
    [ -d "$1" ] || return 0
    WINEPREFIX=$1 timeout "$WINE_ENV_CALL_SECONDS" wineserver -k >/dev/null 2>&1 || true
}

# wine_env_make_prefix PREFIX [ARCH]: makes a new Wine prefix at PREFIX for
# ARCH (WINEARCH: win64, the default, or win32): wineboot without a display
# and without Mono or Gecko (the programs need neither, and their installers
# would ask), the X11 driver told that no window manager runs (Managed=N: Wine
# would otherwise wait for one before it shows a window), Wine's menu builder
# turned off (it would put the prefix's shortcuts on the host), and Wine shut down
# again, so that the first program shown starts Wine's desktop afresh on the
# display it is given. The prefix is made in a folder beside PREFIX,
# ".NAME.making-PID", checked, and only then renamed to PREFIX: a make that
# fails or is interrupted leaves no PREFIX, and the folder of one that was
# killed outright is removed by the next make of that name. Fails when
# PREFIX exists already.
wine_env_make_prefix() {
    local prefix=$1 arch=${2:-win64} parent base
    case $arch in
        win64 | win32) ;;
        *) echo "wine-env: unknown Wine architecture '$arch' (win64 or win32)" >&2; return 2 ;;
    esac
    if [ -e "$prefix" ]; then
        echo "wine-env: $prefix exists already" >&2
        return 1
    fi
    if [ "$arch" = win32 ] && [ "$WINE_ENV_RUNS_32BIT" = 0 ]; then
        echo "wine-env: this machine cannot start 32-bit programs (Wine's 32-bit loader fails): no win32 prefix" >&2
        return 1
    fi
    base=$(basename "$prefix")
    mkdir -p "$(dirname "$prefix")" && parent=$(cd "$(dirname "$prefix")" && pwd) || return 1
    wine_env_sweep_making "$parent" "$base"
    (
        making=$parent/.$base.making-$BASHPID
        log=$parent/.$base.making-$BASHPID.log
        done_=0
        tidy() {
            if [ -n "$WINE_ENV_DOG_PID" ]; then kill -TERM "$WINE_ENV_DOG_PID" 2>/dev/null || true; fi
            [ $done_ = 1 ] || wine_env_discard "$making"
            rm -f "$log"
        }
        trap tidy EXIT
        # On a signal: tidy up, then end by that signal, so that the caller's
        # shell sees it too (a shell waiting for a job that ended by SIGINT
        # stops as well).
        for sig in INT TERM HUP; do
            trap "tidy; trap - EXIT $sig; kill -$sig \$BASHPID" $sig
        done
        fail() {
            echo "wine-env: making the $arch prefix $prefix failed: $*" >&2
            sed -n '1,20s/^/wine-env:   /p' "$log" >&2 || true
            exit 1
        }
        # run SECONDS COMMAND...: in the background, so that a signal is
        # acted on at once rather than after the command.
        run() {
            local limit=$1
            shift
            "$@" >>"$log" 2>&1 </dev/null &
            wine_env_wait_pid $! "$limit" || fail "$* did not end within $limit s"
            [ "$WINE_ENV_STATUS" = 0 ] || fail "$* ended with exit code $WINE_ENV_STATUS"
        }
        rm -rf "$making"
        mkdir "$making" || exit 1
        : >"$log"
        export WINEPREFIX=$making WINEARCH=$arch WINEDEBUG=-all DISPLAY=
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=" run "$WINE_ENV_BOOT_SECONDS" wineboot --init
        run "$WINE_ENV_CALL_SECONDS" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
        # The menu builder (see above) cost half a CPU-second at every start
        # of Wine in a prefix (measured on 2026-12-08).
        run "$WINE_ENV_CALL_SECONDS" wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d "" /f
        run "$WINE_ENV_CALL_SECONDS" wineserver -w
        [ -d "$making/drive_c/windows/system32" ] || fail "no drive_c/windows/system32"
        grep -qx "#arch=$arch" "$making/system.reg" 2>/dev/null || fail "system.reg is missing or not for $arch"
        grep -q '^"Managed"="N"' "$making/user.reg" 2>/dev/null || fail "user.reg lacks the X11 Driver setting"
        grep -q '^"winemenubuilder.exe"=""' "$making/user.reg" 2>/dev/null || fail "user.reg lacks the menu builder's override"
        if [ -e "$prefix" ]; then fail "$prefix appeared meanwhile"; fi
        mv -T "$making" "$prefix" || fail "cannot rename it into place"
        done_=1
    )
}

# wine_env_sweep_making PARENT NAME: removes the folders PARENT/.NAME.making-PID
# left by makes that were killed (their PID is gone).
wine_env_sweep_making() {
    local d pid state
    for d in "$1/.$2.making-"*; do
        [ -d "$d" ] || continue
        pid=${d##*-}
        case $pid in '' | *[!0-9]*) continue ;; esac
        # A maker still running (a zombie is not: nothing may reap it soon).
        state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f1) || state=""
        if [ -n "$state" ] && [ "$state" != Z ]; then continue; fi
        echo "wine-env: removing $d, left by an interrupted make" >&2
        wine_env_discard "$d"
        rm -f "$d.log"
    done
    return 0
}

# wine_env_discard DIR: ends Wine in the half-made prefix DIR and removes it.
wine_env_discard() {
    [ -d "$1" ] || return 0
    wine_env_stop_wine "$1"
    rm -rf "$1"
}
