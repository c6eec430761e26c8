# Helpers for end-to-end tests that run ZanDriverInstaller.exe under Wine on
# an X server of their own (Xvfb). Source it from a test script:
#
#   . "$(dirname "$0")/lib.sh"
#   e2e_setup my_test                 # own Wine prefix, Xvfb, clean-up on exit
#   e2e_on_exit 'kill "$MY_PID"'      # more clean-up, run by the shared one
#   e2e_start_program "$E2E_EXE" INSTALL SILENT
#   e2e_wait_exit 20 || e2e_fail "program did not end"
#   e2e_assert_eq 1 "$E2E_EXIT" "exit code"
#   e2e_finish                        # exits 0 when no check failed
#
# Every test script serves both architectures: E2E_ARCH (set by run-all.sh
# for each run; win64 when unset) chooses the machine and the programs.
# win64 runs the 64-bit program in a 64-bit prefix, win32 the 32-bit program
# in a 32-bit prefix, as on 32-bit Windows.
#
# What a test gets:
#   E2E_ROOT       the repository
#   E2E_ARCH       win64 or win32; E2E_ARCH_NAME x64 or x86, as result lines
#                  name it; E2E_MINGW the MinGW-w64 tool prefix of that
#                  architecture (x86_64-w64-mingw32, i686-w64-mingw32)
#   E2E_EXE        build/<arch>/ZanDriverInstaller.exe, the program under test
#   E2E_EXE64      build/win64/ZanDriverInstaller.exe and
#   E2E_EXE32      build/win32/ZanDriverInstaller.exe, whatever E2E_ARCH is
#   E2E_HELPERS    build/<arch>/tests/e2e/helpers: the tests' own Windows
#                  programs and stand-in DLLs (tests/e2e/helpers), one folder each
#   E2E_STUB_NEWDEV  the stand-in newdev.dll (helpers/stub-newdev)
#   E2E_DIR        build/e2e/<arch>/<test name>: everything the test leaves
#   WINEPREFIX     E2E_DIR/prefix, a copy of the architecture's template prefix
#   E2E_WINDIR     the prefix's Windows directory (C:\windows)
#   DISPLAY        the test's own Xvfb display
#
# Each test's prefix is a copy of its architecture's template prefix (see
# e2e_template_prefix), which has HKCU\Software\Wine\X11 Driver
# "Managed"="N", so that Wine does not wait for a window manager that is not
# there before it shows a window, and Wine's menu builder turned off.
#
# All helpers are plain functions without output on success unless said
# otherwise; checks record a failure with e2e_fail and go on, so that one run
# reports every broken expectation.

set -u

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$E2E_ROOT/tools/wine-env.sh"
E2E_BUILD=$E2E_ROOT/build
E2E_WORK=$E2E_BUILD/e2e
E2E_ARCH=${E2E_ARCH:-win64}
case $E2E_ARCH in
    win64) E2E_ARCH_NAME=x64 E2E_MINGW=x86_64-w64-mingw32 ;;
    win32) E2E_ARCH_NAME=x86 E2E_MINGW=i686-w64-mingw32 ;;
    *) echo "[e2e] unknown E2E_ARCH '$E2E_ARCH' (win64 or win32)" >&2; exit 2 ;;
esac
E2E_EXE=$E2E_BUILD/$E2E_ARCH/ZanDriverInstaller.exe
E2E_EXE64=$E2E_BUILD/win64/ZanDriverInstaller.exe
E2E_EXE32=$E2E_BUILD/win32/ZanDriverInstaller.exe
E2E_HELPERS=$E2E_BUILD/$E2E_ARCH/tests/e2e/helpers
E2E_STUB_NEWDEV=$E2E_HELPERS/stub-newdev/newdev.dll
E2E_TEMPLATE=$E2E_WORK/template-$E2E_ARCH

E2E_TEST=""
E2E_DIR=""
E2E_FAILURES=0
E2E_XEV_PID=""
E2E_ON_EXIT=()
E2E_PID=""
E2E_EXIT=""
E2E_ELAPSED_MS=""
E2E_TRACE=""

# Wine's own chatter (fixme lines) stays out of the trace unless a test asks
# for more; WINEDEBUG of a program run is set by e2e_start_program.
export WINEDEBUG=-all
export WINEARCH=$E2E_ARCH

# --- Reporting -------------------------------------------------------------

# e2e_log TEXT: a progress line on stderr.
e2e_log() { echo "[$E2E_TEST $E2E_ARCH_NAME] $*" >&2; }

# e2e_fail TEXT: records a failed check.
e2e_fail() {
    echo "FAIL [$E2E_TEST $E2E_ARCH_NAME]: $*" >&2
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

# e2e_assert_eq EXPECTED ACTUAL WHAT
e2e_assert_eq() {
    [ "$1" = "$2" ] || e2e_fail "$3: expected '$1', got '$2'"
}

# e2e_assert_le LIMIT VALUE WHAT: VALUE <= LIMIT (integers).
e2e_assert_le() {
    [ -n "$2" ] && [ "$2" -le "$1" ] || e2e_fail "$3: expected at most $1, got '$2'"
}

# e2e_skip REASON: ends the test as skipped (exit status 77): what it tests
# cannot run on this machine. run-all.sh reports it with the reason.
e2e_skip() {
    echo "SKIP [$E2E_TEST $E2E_ARCH_NAME]: $*" >&2
    exit 77
}

# e2e_finish: ends the test; exit status 0 when every check passed.
e2e_finish() {
    if [ "$E2E_FAILURES" -eq 0 ]; then
        echo "PASS [$E2E_TEST $E2E_ARCH_NAME]" >&2
        exit 0
    fi
    echo "FAIL [$E2E_TEST $E2E_ARCH_NAME]: $E2E_FAILURES check(s) failed; see $E2E_DIR" >&2
    exit 1
}

# --- Set-up and clean-up ---------------------------------------------------

# e2e_name NAME: names the test and gives it its folder, E2E_DIR (for a test
# that needs no Wine; e2e_setup does it for the others).
e2e_name() {
    E2E_TEST=$1
    E2E_DIR=$E2E_WORK/$E2E_ARCH/$1
    mkdir -p "$E2E_DIR"
}

# e2e_require FILE...: the test ends here unless every FILE (a build's
# output) is there.
e2e_require() {
    local f
    for f in "$@"; do [ -f "$f" ] || { e2e_fail "missing $f (run make windows)"; e2e_finish; }; done
}

# e2e_template_stamp: what the template prefix of E2E_ARCH is made from: the
# architecture, the installed Wine packages (a package that is not installed
# gives no line) and the recipe in tools/wine-env.sh.
e2e_template_stamp() {
    echo "arch $E2E_ARCH"
    dpkg-query -W -f='${binary:Package} ${Version} ${db:Status-Abbrev}\n' \
        wine wine64 wine32:i386 libwine:amd64 libwine:i386 2>/dev/null || true
    echo "recipe $(sha1sum <"$E2E_ROOT/tools/wine-env.sh" | cut -d' ' -f1)"
}

# The files of a prefix that nothing writes to once it is made: the programs,
# DLLs and code-page tables below drive_c/windows, nearly all of a prefix's
# size (1.3 GB for win64). A test's prefix shares them with the template as
# hard links; everything else is its own copy.
E2E_SHARED=(-path './drive_c/windows/*' \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.nls' -o -iname '*.drv'
    -o -iname '*.sys' -o -iname '*.vxd' -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.tlb'
    -o -iname '*.ds' -o -iname '*.com' -o -iname '*.ax' -o -iname '*.msstyles' \))

# e2e_template_files: size and time of every shared file of the template,
# hashed; a test that wrote through one of its links would change it.
e2e_template_files() {
    (cd "$E2E_TEMPLATE" && find . -type f "${E2E_SHARED[@]}" -printf '%P %s %T@\n' | sort | sha1sum)
}

# e2e_template_prefix: makes the template prefix of E2E_ARCH unless one with
# the same stamp and untouched shared files is there. Tests that start
# together take turns (at most 10 minutes' wait).
e2e_template_prefix() {
    local stamp=$E2E_TEMPLATE.stamp files=$E2E_TEMPLATE.files want
    want=$(e2e_template_stamp)
    mkdir -p "$E2E_WORK"
    (
        flock -w 600 9 || { echo "[e2e] the $E2E_ARCH template prefix stayed locked for 600 s" >&2; exit 1; }
        if [ -d "$E2E_TEMPLATE" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] &&
            [ -f "$files" ] && [ "$(cat "$files")" = "$(e2e_template_files)" ]; then
            exit 0
        fi
        rm -rf "$E2E_TEMPLATE" "$stamp" "$files"
        echo "[e2e] making the $E2E_ARCH template Wine prefix (wineboot)" >&2
        wine_env_make_prefix "$E2E_TEMPLATE" "$E2E_ARCH" || exit 1
        e2e_template_files >"$files"
        echo "$want" >"$stamp"
    ) 9>"$E2E_WORK/template-$E2E_ARCH.lock"
}

# winepath_of UNIX_PATH: the path as Wine programs see it (Z:\...).
winepath_of() { printf 'Z:%s' "$(echo "$1" | tr '/' '\\')"; }

# e2e_copy_prefix FROM TO: TO as a copy of the Wine prefix FROM (its Wine
# ended), its shared files (E2E_SHARED) hard links to FROM's. A file a test
# puts in place of a shared one must replace the link (e2e_put_file), never
# be written through it.
e2e_copy_prefix() {
    rm -rf "$2"
    # The folders and the files of its own copied, then the shared ones
    # linked (only those: linking changes a file's ctime, which a copy that
    # runs meanwhile would take for a change).
    (set -o pipefail
        mkdir "$2" && cd "$1" &&
            find . -mindepth 1 ! \( "${E2E_SHARED[@]}" \) -print0 |
            tar --null --no-recursion -T - -cf - | tar -C "$2" -xpf - &&
            find . -type f "${E2E_SHARED[@]}" -print0 | xargs -0 -r cp -l --parents -t "$2")
}

# e2e_put_file SOURCE DEST: a copy of SOURCE at DEST, replacing what is there
# (a link to the template's file is removed, not written through).
e2e_put_file() {
    rm -f "$2" && cp "$1" "$2"
}

# e2e_on_exit COMMAND: COMMAND (a string, run with eval) becomes part of the
# test's clean-up on exit; the last one given runs first, and all of them
# before the shared clean-up of e2e_cleanup.
e2e_on_exit() { E2E_ON_EXIT+=("$1"); }

# e2e_cleanup: runs the test's own clean-up, then ends the program, Wine and
# the X server this test started.
e2e_cleanup() {
    local k
    for ((k = ${#E2E_ON_EXIT[@]} - 1; k >= 0; k--)); do
        eval "${E2E_ON_EXIT[$k]}" || true
    done
    [ -n "$E2E_PID" ] && kill "$E2E_PID" 2>/dev/null
    [ -n "$E2E_XEV_PID" ] && kill "$E2E_XEV_PID" 2>/dev/null
    [ -n "${WINEPREFIX:-}" ] && wine_env_stop_wine "$WINEPREFIX"
    wine_env_stop_xvfb
    wine_env_reap 10
    return 0
}

# e2e_setup NAME: everything a test needs: builds present, template prefix,
# its own copy in build/e2e/<arch>/NAME/prefix (of the prefix E2E_PREFIX_FROM
# names, if set), an X server of its own on a free display (DISPLAY), the
# prefix's wineserver and Wine's own services started (so that the program's
# start-up time is its own), clean-up on exit.
e2e_setup() {
    e2e_name "$1"
    rm -f "$E2E_DIR"/*.trace "$E2E_DIR"/xev.log
    trap e2e_cleanup EXIT
    e2e_require "$E2E_EXE" "$E2E_STUB_NEWDEV"
    e2e_template_prefix || { e2e_fail "no template prefix"; e2e_finish; }
    e2e_copy_prefix "${E2E_PREFIX_FROM:-$E2E_TEMPLATE}" "$E2E_DIR/prefix" ||
        { e2e_fail "the template prefix could not be copied"; e2e_finish; }
    export WINEPREFIX=$E2E_DIR/prefix
    E2E_WINDIR=$WINEPREFIX/drive_c/windows
    wine_env_start_xvfb "$E2E_DIR" || { e2e_fail "Xvfb did not start"; e2e_finish; }
    e2e_start_wine
}

# e2e_start_wine: the prefix's wineserver and Wine's own services started.
e2e_start_wine() {
    timeout "$WINE_ENV_CALL_SECONDS" wineserver -p
    timeout "$WINE_ENV_CALL_SECONDS" wine cmd.exe /c exit 0 >/dev/null 2>&1 || true
}

# e2e_install_stub_newdev [ERROR]: puts the stand-in newdev.dll of the
# prefix's architecture into its system32 and makes Wine prefer it to its own. With ERROR, its
# driver update fails with that last error (decimal or hex, e.g. 0xE000020B);
# without, it succeeds.
e2e_install_stub_newdev() {
    e2e_put_file "$E2E_STUB_NEWDEV" "$E2E_WINDIR/system32/newdev.dll"
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}newdev=n,b"
    if [ $# -gt 0 ]; then
        export ZAN_STUB_NEWDEV_ERROR=$1
    else
        unset ZAN_STUB_NEWDEV_ERROR
    fi
}

# e2e_install_stub_for_program NAME [VARIANT]: puts the stand-in NAME.dll
# (setupapi or shell32; the one built in the folder VARIANT, as lacking for
# setupapi) into the prefix's system32 and has Wine prefer it for
# ZanDriverInstaller.exe alone (a per-program DLL override), so that Wine's
# own services keep Wine's DLL. The test ends here when it cannot.
e2e_install_stub_for_program() {
    local dll=$E2E_HELPERS/stub-$1/${2:+$2/}$1.dll
    e2e_require "$dll"
    e2e_put_file "$dll" "$E2E_WINDIR/system32/$1.dll" || { e2e_fail "cannot put $dll in place"; e2e_finish; }
    timeout 60 wine reg add 'HKCU\Software\Wine\AppDefaults\ZanDriverInstaller.exe\DllOverrides' \
        /v "$1" /d native,builtin /f >/dev/null 2>&1 ||
        { e2e_fail "the per-program DLL override of $1 was not set"; e2e_finish; }
}

# --- Running the program ---------------------------------------------------

# e2e_start_program EXE [ARGUMENTS...]: starts EXE under Wine in the
# background with WINEDEBUG=+debugstr,+msgbox (the debugger output and the
# text of every message box); Wine's output goes to E2E_DIR/program.trace
# (E2E_TRACE). Sets E2E_PID.
e2e_start_program() {
    local exe=$1
    shift
    E2E_TRACE=$E2E_DIR/program.trace
    E2E_START_NS=$(date +%s%N)
    WINEDEBUG=+debugstr,+msgbox wine "$exe" "$@" >"$E2E_DIR/program.out" 2>"$E2E_TRACE" &
    E2E_PID=$!
}

# e2e_start_program_for_code EXE [ARGUMENTS...]: e2e_start_program through
# C:\e2e-exit-code.bat (E2E_EXIT_CODE_BATCH), which runs EXE with the batch
# file's arguments and then prints "exit code N" with EXE's exit code as
# Windows gives it, so that the next e2e_wait_exit gives the whole exit code
# in E2E_EXIT. Under Wine the exit status of a process keeps only the low 8
# bits of its exit code (1618 reads 82, 3010 reads 194).
E2E_EXIT_CODE_BATCH='C:\e2e-exit-code.bat'
E2E_EXIT_FROM_BATCH=""
e2e_start_program_for_code() {
    local exe=$1
    shift
    printf '@"%s" %%*\r\n@echo exit code %%ERRORLEVEL%%\r\n' "$(winepath_of "$exe")" >"$WINEPREFIX/drive_c/e2e-exit-code.bat"
    e2e_start_program cmd /c "$E2E_EXIT_CODE_BATCH" "$@"
    E2E_EXIT_FROM_BATCH=1
}

# e2e_batch_exit_code FILE: the exit code the batch file printed into FILE.
e2e_batch_exit_code() { sed -n 's/^exit code \(-\{0,1\}[0-9]*\)\r\{0,1\}$/\1/p' "$1" | tail -n 1; }

# e2e_wait_exit SECONDS: waits for the program started last. On its end sets
# E2E_EXIT (its exit code) and E2E_ELAPSED_MS (from its start to the moment
# wait returned) and returns 0; after SECONDS it ends the program (TERM, then
# KILL) and returns 1. It blocks in wait rather than looking every few
# milliseconds: a loop of short sleeps cost a third of a core per waiting run.
e2e_wait_exit() {
    local from_batch=$E2E_EXIT_FROM_BATCH
    E2E_EXIT_FROM_BATCH=""
    if ! wine_env_wait_pid "$E2E_PID" "$1"; then
        E2E_PID=""
        E2E_EXIT=""
        return 1
    fi
    E2E_EXIT=$WINE_ENV_STATUS
    E2E_ELAPSED_MS=$((WINE_ENV_ENDED_MS - E2E_START_NS / 1000000))
    E2E_PID=""
    [ -n "$from_batch" ] && E2E_EXIT=$(e2e_batch_exit_code "$E2E_DIR/program.out")
    return 0
}

# e2e_run SECONDS EXE [ARGUMENTS...]: one run to its end, started by
# E2E_STARTER (e2e_start_program, or e2e_start_program_for_code for the whole
# exit code); the test ends here when it is not done within SECONDS.
E2E_STARTER=e2e_start_program
e2e_run() {
    local seconds=$1
    shift
    "$E2E_STARTER" "$@"
    e2e_wait_exit "$seconds" || { e2e_fail "the program did not end within $seconds s"; e2e_finish; }
}

# e2e_running: true while the program started last has not ended.
e2e_running() { [ -n "$E2E_PID" ] && kill -0 "$E2E_PID" 2>/dev/null; }

# --- The trace ---------------------------------------------------------------

# e2e_trace_lines: the program's debugger output, one OutputDebugStringA call
# a line, as Wine prints it: backslashes doubled, a newline as \n, a quote as \".
e2e_trace_lines() {
    sed -n 's/^[0-9a-f]*:warn:debugstr:OutputDebugStringA "\(.*\)"$/\1/p' "$E2E_TRACE"
}

# e2e_trace_has TEXT: true when one call wrote exactly TEXT (in Wine's
# escaping, see e2e_trace_lines).
e2e_trace_has() { e2e_trace_lines | grep -qxF -- "$1"; }

# e2e_assert_trace TEXT: a check of e2e_trace_has.
e2e_assert_trace() {
    e2e_trace_has "$1" || e2e_fail "trace lacks: $1"
}

# e2e_message_boxes: the text of every message box shown so far, one a line,
# in Wine's escaping (see e2e_trace_lines).
e2e_message_boxes() {
    sed -n 's/^[0-9a-f]*:trace:msgbox:MSGBOX_OnInit L"\(.*\)"$/\1/p' "$E2E_TRACE"
}

# --- The log file (/LOG=) ------------------------------------------------------

# e2e_log_lines FILE: the lines of a log the program wrote, one
# "PID<TAB>MS<TAB>TEXT" a line (MS: the line's time of day in milliseconds); a
# line that does not read "YYYY-MM-DD HH:MM:SS.mmm PID TEXT" with CR LF as its
# end is given as "BAD<TAB><TAB>line".
e2e_log_lines() {
    perl -ne 'if (/\A\d{4}-\d\d-\d\d (\d\d):(\d\d):(\d\d)\.(\d{3}) (\d+) (.*)\r\n\z/s) {
                  print "$5\t", (($1 * 60 + $2) * 60 + $3) * 1000 + $4, "\t$6\n" }
              else { chomp; print "BAD\t\t$_\n" }' "$1"
}

# e2e_expect_log_format FILE [PROCESSES]: FILE exists, every line of it is as
# the program writes its lines (see e2e_log_lines), and, given PROCESSES,
# that many processes wrote to it.
e2e_expect_log_format() {
    local bad
    [ -f "$1" ] || { e2e_fail "no log file $1"; return; }
    bad=$(e2e_log_lines "$1" | grep '^BAD' | head -3 | tr '\n' '|')
    [ -z "$bad" ] || e2e_fail "$1: lines not as the program writes them: $bad"
    [ $# -lt 2 ] || e2e_assert_eq "$2" "$(e2e_log_pids "$1" | grep -c .)" "processes in $1"
}

# e2e_log_texts FILE PID: the texts of the lines process PID wrote to FILE.
e2e_log_texts() { e2e_log_lines "$1" | awk -F '\t' -v pid="$2" '$1 == pid { sub(/^[^\t]*\t[^\t]*\t/, ""); print }'; }

# e2e_log_pids FILE: the process IDs of FILE's lines, each once, in order.
e2e_log_pids() { e2e_log_lines "$1" | cut -f 1 | awk '!seen[$0]++'; }

# --- Files -------------------------------------------------------------------

# e2e_markers: the marker files in the Windows directory, one a line.
e2e_markers() {
    (cd "$E2E_WINDIR" && ls -1 RESULT.* 2>/dev/null) || true
}

# e2e_expect_end CODE MARKERS [WHAT]: the run ended with exit code CODE and
# left exactly MARKERS (as e2e_markers gives them; "" for none).
e2e_expect_end() {
    e2e_assert_eq "$1" "$E2E_EXIT" "${3:+$3: }exit code"
    e2e_assert_eq "$2" "$(e2e_markers)" "${3:+$3: }markers"
}

# --- Windows on the display ------------------------------------------------

# e2e_watch_windows: from now on records the top-level X windows that are
# created and mapped on the display (see e2e_mapped_windows).
e2e_watch_windows() {
    xev -root -event substructure >"$E2E_DIR/xev.log" 2>&1 &
    E2E_XEV_PID=$!
    sleep 0.3
}

# e2e_progress_windows: those of e2e_mapped_windows shaped like the progress
# window (270 x 66 dialog units: about four times as wide as high), whatever
# the font makes of it in pixels.
e2e_progress_windows() { e2e_mapped_windows | awk '{ split($2, s, "x"); if (s[1] >= 300 && s[1] > 3 * s[2]) print }'; }

# e2e_mapped_windows: "ID WIDTHxHEIGHT" of every window mapped since
# e2e_watch_windows, in the order they were shown (Wine creates its windows
# 1x1 and sizes them before showing them; the size is the last one before
# the window was mapped).
e2e_mapped_windows() {
    awk '
        /^(CreateNotify|ConfigureNotify) event/ { kind = $1; next }
        kind != "" && /window 0x/ {
            for (i = 1; i <= NF; i++) {
                if ($i == "window" && $(i + 1) ~ /^0x/) { id = $(i + 1); sub(/,$/, "", id) }
                if ($i == "width") { w = $(i + 1); sub(/,$/, "", w) }
                if ($i == "height") { h = $(i + 1); sub(/,$/, "", h) }
            }
            if (w != "") size[id] = w "x" h
            kind = ""; w = ""; h = ""; next
        }
        /^MapNotify event/ { mapping = 1; next }
        mapping && /window 0x/ {
            for (i = 1; i <= NF; i++) if ($i == "window") { id = $(i + 1); sub(/,$/, "", id) }
            print id, size[id]; mapping = 0
        }
    ' "$E2E_DIR/xev.log"
}

# e2e_press_key WINDOW KEY: activates WINDOW and presses KEY (an xdotool key
# name: Return, Escape, c). Wine activates a window on a click, not on a bare
# X focus change once another of its windows was active, so the window gets a
# click 4 pixels inside its top-left corner (a caption or an empty margin in
# the windows of this program) before the key.
e2e_press_key() {
    xdotool mousemove --window "$1" 4 4 click 1 2>/dev/null
    xdotool windowfocus "$1" 2>/dev/null
    sleep 0.2
    xdotool key --clearmodifiers "$2"
}

# --- Signing -------------------------------------------------------------------

# e2e_signing_certs DIR: a throwaway certificate authority and what make dist
# signs with, made by openssl in DIR: ca.pem (the root), signer.pem (a
# code-signing certificate and ca.pem), signer.key, signer.pfx (password in
# pfx.pass), tls.pem (signer.key's certificate, for TLS servers only) and
# other.key (a key of no certificate). The test ends here when it fails.
e2e_signing_certs() {
    local d=$1
    rm -rf "$d" && mkdir -p "$d" && (
        set -e
        cd "$d"
        key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1" 2>/dev/null; }
        # issue NAME EXTENDED_KEY_USAGE: NAME.pem for signer.key, issued by the root.
        issue() {
            openssl req -new -key signer.key -subj "/CN=ZAN Test $1/O=ZAN" |
                openssl x509 -req -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -out "$1.pem" 2>/dev/null \
                    -extfile <(printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$2")
        }
        key ca.key && key signer.key && key other.key
        openssl req -x509 -key ca.key -subj '/CN=ZAN Test Root' -days 30 -out ca.pem \
            -addext 'basicConstraints=critical,CA:TRUE' -addext 'keyUsage=critical,keyCertSign' 2>/dev/null
        issue signer codeSigning && issue tls serverAuth
        cat ca.pem >>signer.pem
        echo 'pfx pass' >pfx.pass
        openssl pkcs12 -export -in signer.pem -inkey signer.key -passout file:pfx.pass -out signer.pfx
    ) || { e2e_fail "the throwaway certificates could not be made"; e2e_finish; }
}
