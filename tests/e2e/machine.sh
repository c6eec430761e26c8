# Helpers for the end-to-end tests that arrange a simulated point-of-sale
# machine in the test's Wine prefix and look at it before and after a run.
# Source it after lib.sh and e2e_setup:
#
#   . "$(dirname "$0")/lib.sh"
#   . "$(dirname "$0")/machine.sh"
#   machine_setup install_example              # e2e_setup, and the watch's clean-up
#   machine_provision full4 decoys --oem       # tools/provision.sh
#   machine_watch_start                        # status lines and boxes, see below
#   e2e_start_program "$E2E_EXE" INSTALL SILENT
#   e2e_wait_exit 60 || e2e_fail "..."
#   machine_watch_wait
#   machine_expect_status <<'EOF' ... EOF
#   machine_expect_trace <<'EOF' ... EOF
#   machine_dump after                         # posmachine dump
#   machine_expect_device after "Serial Port C" <<'EOF' ... EOF
#
# The texts compared are those of the system: status lines as the window
# showed them, trace lines in Wine's escaping (see e2e_trace_lines), device
# values as posmachine's dump prints them (every stored byte, \0 for a NUL).

M_POSMACHINE=$E2E_BUILD/$E2E_ARCH/tools/posmachine/posmachine.exe
M_WIZARD=$E2E_HELPERS/wizard-window/wizard-window.exe
M_CAPTION='ZAN 7350-21X PCI Serial Port and Base Device Driver v1.0'
# Serial Ports C to F, in the order the search meets them, and the ends of
# their hardware IDs (MF\PCI1D9E_COMF is Serial Port C).
M_PORTS=(C D E F)
declare -A M_PORT_ID=([C]=COMF [D]=COMC [E]=COME [F]=COMD)
M_WATCH_PID=""
M_WATCH_LOG=""

# machine_posmachine ARGS...: runs the helper in the test's prefix (ended
# after a minute).
machine_posmachine() { timeout "$WINE_ENV_CALL_SECONDS" wine "$M_POSMACHINE" "$@"; }

# machine_provision PROFILE [ADD-ON...] [--oem]: see tools/provision.sh.
machine_provision() {
    e2e_require "$M_POSMACHINE"
    POSMACHINE=$M_POSMACHINE "$E2E_ROOT/tools/provision.sh" "$WINEPREFIX" "$@" ||
        { e2e_fail "provisioning $* failed"; e2e_finish; }
}

# machine_dump NAME: the machine's state into E2E_DIR/NAME.dump, also printed
# by later helpers. Generated names (instance IDs, driver key numbers) are
# left out. A dump that failed without output, neither timed out nor killed
# (seen once under a make test's full load), is tried once more, and its
# status logged.
machine_dump() {
    local status=0
    machine_posmachine dump >"$E2E_DIR/$1.full" || status=$?
    if [ "$status" != 0 ] && [ "$status" != 124 ] && [ "$status" -lt 128 ] && [ ! -s "$E2E_DIR/$1.full" ]; then
        e2e_log "posmachine dump ended $status without output; tried again"
        status=0
        machine_posmachine dump >"$E2E_DIR/$1.full" || status=$?
    fi
    [ "$status" = 0 ] || e2e_fail "posmachine dump failed ($status)"
    sed -e '/^  instance /d' -e '/^  driver "/d' "$E2E_DIR/$1.full" >"$E2E_DIR/$1.dump"
}

# machine_device NAME DESCRIPTION: the lines of the device(s) of that exact
# description in dump NAME, without the "device" line itself.
machine_device() {
    awk -v want="device \"$2\"" '
        /^device / { on = ($0 == want); next }
        /^[^ ]/ { on = 0 }
        on { sub(/^  /, ""); print }
    ' "$E2E_DIR/$1.dump"
}

# machine_files NAME: the files of dump NAME below C:\windows\inf (ZAN*,
# OEM*, 1port\, 4port\), one a line, without their sizes.
machine_files() { sed -n 's/^file \(inf\\[^ ]*\).*/\1/p' "$E2E_DIR/$1.dump"; }

# machine_devices NAME: the descriptions of dump NAME's devices, one a line, in the dump's order.
machine_devices() { sed -n 's/^device "\(.*\)"$/\1/p' "$E2E_DIR/$1.dump"; }

# machine_expect_port NAME LETTER COMn: Serial Port LETTER in dump NAME, with
# its driver from ZANPorts.inf, its port name COMn and its friendly name. A
# renamed port's friendly name is written as its characters and their NUL,
# nothing after it, and kept as UTF-16: "Serial Port C(COM3)" and its NUL are
# 40 bytes.
machine_expect_port() {
    machine_expect_device "$1" "Serial Port $2" < <(
        echo "hardware-id \"MF\\PCI1D9E_${M_PORT_ID[$2]}\""
        echo "present yes"
        echo "ports-interface present"
        echo "setup-class {4D36E978-E325-11CE-BFC1-08002BE10318}"
        echo "friendly-name REG_SZ 40 bytes \"Serial Port $2($3)\\0\""
        echo 'class "Ports"'
        printf '%s\n' 'driver.InfPath "ZANPorts.inf"' 'driver.InfSection "ZANPort_Install"'
        echo "port-name REG_SZ 10 bytes \"$3\\0\""
    )
}

# machine_expect_base NAME INSTALLED: the base device in dump NAME, with its
# driver from ZANBaseD.inf when INSTALLED is 1.
machine_expect_base() {
    machine_expect_device "$1" "ZAN 7350-21x Base Device" < <(
        echo 'hardware-id "PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E"'
        echo "present yes"
        echo "setup-class {4D36E97D-E325-11CE-BFC1-08002BE10318}"
        echo 'class "System"'
        if [ "$2" = 1 ]; then
            echo 'driver.InfPath "ZANBaseD.inf"'
            echo 'driver.InfSection "ZANBase_Install"'
        fi
    )
}

# machine_expect_card NAME 1|4: the card in dump NAME, with the driver of the
# one-port or four-port package. Wine keeps its own copy of the installed INF
# in the INF folder under the INF's name (oemN.inf when that name is taken),
# and InfPath names that copy.
machine_expect_card() {
    machine_expect_device "$1" "ZAN 7350-21x Serial Multifunction Device" < <(
        echo 'hardware-id "PCI\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10"'
        echo 'hardware-id "PCI\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E"'
        echo "present yes"
        echo "setup-class {4D36E971-E325-11CE-BFC1-08002BE10318}"
        echo 'class "MultiFunction"'
        echo 'driver.InfPath "ZAN2kmf.inf"'
        echo "driver.InfSection \"ZAN$2Port_Install\""
    )
}

# machine_expect_device NAME DESCRIPTION < expected lines: the device's lines
# in dump NAME are exactly those given. (Like every check here: give it its
# input by redirection, not through a pipe, or its verdict is lost.)
machine_expect_device() { machine_expect_lines "$1: the lines of device \"$2\"" "$(machine_device "$1" "$2")"; }

# machine_expect_lines WHAT ACTUAL < expected: ACTUAL (a text) is exactly the
# expected lines.
machine_expect_lines() {
    local want
    want=$(cat)
    [ "$want" = "$2" ] ||
        e2e_fail "$1 differ (- expected, + actual):
$(diff -u <(echo "$want") <(echo "$2") | tail -n +3 | grep '^[-+]' | sed 's/^/    /')"
}

# --- The progress window, seen from outside ----------------------------------

# machine_watch_start [--answer CAPTION=yes|no|ok]... [--hold MS]: follows the
# program's window from now on (posmachine watch) into E2E_DIR/watch.log. The
# watch looks every 20 ms: the window changes its status line only on its
# 100 ms tick, so every line it shows is still seen, a run without an
# operation shows its window for about 45 ms, and event times stay well
# inside the hundreds of milliseconds the checks allow. Its looks cost Wine's
# server CPU (about 0.7 CPU-s over 10 s of watching; at 40 ms the watch missed
# that 45 ms window in a make test; both measured on 2026-12-08, as the 45 ms).
machine_watch_start() {
    M_WATCH_LOG=$E2E_DIR/watch.log
    wine "$M_POSMACHINE" watch --timeout 170 --every 20 "$@" >"$M_WATCH_LOG" 2>&1 &
    M_WATCH_PID=$!
    # The watch is running once it has printed its first line.
    wine_env_wait_file "$M_WATCH_LOG" 5 "$M_WATCH_PID" || true
}

# machine_watch_wait: waits until the watch has seen the window close (20 s at most).
machine_watch_wait() {
    local deadline=$(($(date +%s) + 20))
    while kill -0 "$M_WATCH_PID" 2>/dev/null; do
        if [ "$(date +%s)" -ge "$deadline" ]; then
            kill "$M_WATCH_PID" 2>/dev/null
            e2e_fail "the window watch did not end (window still open?)"
            break
        fi
        sleep 0.05
    done
    wait "$M_WATCH_PID" 2>/dev/null
    M_WATCH_PID=""
}

# machine_boxes_seen: "caption|text|buttons|markers" of every message box that
# appeared, in the watch's escaping (a line break of the text as \x0A).
machine_boxes_seen() {
    sed -n 's/^ *[0-9]* box caption "\(.*\)" text "\(.*\)" buttons \(.*\) markers \(.*\)$/\1|\2|\3|\4/p' "$M_WATCH_LOG"
}

# machine_event_ms PATTERN: the watch's time of its first line matching PATTERN.
machine_event_ms() { grep -E -m1 "^ *[0-9]+ $1" "$M_WATCH_LOG" | awk '{ print $1 }'; }

# machine_last_event_ms PATTERN: the same for its last matching line.
machine_last_event_ms() { grep -E "^ *[0-9]+ $1" "$M_WATCH_LOG" | tail -n 1 | awk '{ print $1 }'; }

# machine_expect_status < lines: checks the status lines the window showed
# (in the watch's escaping: a quote or backslash escaped, other bytes \xNN).
# Each expected line is "must: TEXT" (it stays up for a pause of a second or
# more, so every 100 ms tick of the window shows it) or "may: TEXT" (it is
# replaced at once, so a tick sees it only by chance); "" stands for the
# empty line. The lines seen must be
# these, in this order, with none left out but "may" lines.
machine_expect_status() {
    local -a kind=() text=() seen=()
    local line i=0 j n
    while IFS= read -r line; do
        case $line in
            "must: "* | "may: "*)
                kind+=("${line%%:*}")
                line=${line#*: }
                [ "$line" = '""' ] && line=""
                text+=("$line")
                ;;
            "") ;;
            *) e2e_fail "bad status expectation: $line"; return ;;
        esac
    done
    mapfile -t seen < <(sed -n 's/^ *[0-9]* status "\(.*\)"$/\1/p' "$M_WATCH_LOG")
    n=${#text[@]}
    for line in "${seen[@]}"; do
        while [ $i -lt $n ] && [ "${text[$i]}" != "$line" ]; do
            if [ "${kind[$i]}" = must ]; then
                e2e_fail "status line not shown: \"${text[$i]}\" (seen: $(printf '"%s" ' "${seen[@]}"))"
                return
            fi
            i=$((i + 1))
        done
        if [ $i -ge $n ]; then
            e2e_fail "unexpected or out-of-order status line: \"$line\" (seen: $(printf '"%s" ' "${seen[@]}"))"
            return
        fi
        i=$((i + 1))
    done
    for ((j = i; j < n; j++)); do
        [ "${kind[$j]}" = must ] && { e2e_fail "status line not shown: \"${text[$j]}\""; return; }
    done
}

# machine_run SECONDS ARGUMENTS...: e2e_run of the program (E2E_EXE) with
# ARGUMENTS under the watch (with the watch options in the array
# M_WATCH_ARGS), and waits for the watch too.
M_WATCH_ARGS=()
machine_run() {
    local seconds=$1
    shift
    machine_watch_start "${M_WATCH_ARGS[@]}"
    e2e_run "$seconds" "$E2E_EXE" "$@"
    # Once the program has ended, a watch that has not seen its window (a
    # run that shows none, or one whose window came and went between two
    # looks under load) has nothing more to see: its last looks, then it is
    # stopped. A check of what the window showed then finds it missing.
    if ! grep -q 'window shown' "$M_WATCH_LOG"; then
        sleep 0.2
        kill "$M_WATCH_PID" 2>/dev/null
    fi
    machine_watch_wait
}

# machine_expect_fail_after_box WHAT: RESULT.FAIL (the last time it is seen:
# old markers go one by one at the start, so it may be seen alone then too)
# came only after the error box was answered.
machine_expect_fail_after_box() {
    local answer_ms fail_ms
    answer_ms=$(machine_event_ms 'box answer')
    fail_ms=$(machine_last_event_ms 'markers RESULT.FAIL$')
    [ -n "$answer_ms" ] && [ -n "$fail_ms" ] && [ "$fail_ms" -gt "$answer_ms" ] ||
        e2e_fail "$1: RESULT.FAIL not after the box (answered at '$answer_ms', marker at '$fail_ms')"
}

# machine_expect_failure_order WHAT: a failed run as the watch saw it. The
# "[Failed]" line stays 2 s before the error box, RESULT.FAIL comes only after
# the box was answered, and the window closes after it.
machine_expect_failure_order() {
    local failed_ms box_ms fail_ms closed_ms
    failed_ms=$(machine_event_ms 'status ".*\[Failed\]"')
    fail_ms=$(machine_last_event_ms 'markers RESULT.FAIL$')
    closed_ms=$(machine_event_ms 'window closed')
    if [ -z "$failed_ms" ] || [ -z "$fail_ms" ] || [ -z "$closed_ms" ]; then
        e2e_fail "$1: events missing from the watch: $(tr '\n' '|' <"$M_WATCH_LOG")"
        return 1
    fi
    [ "$closed_ms" -ge "$fail_ms" ] || e2e_fail "$1: window closed before RESULT.FAIL"
    box_ms=$(machine_event_ms 'box caption')
    [ -n "$box_ms" ] && [ $((box_ms - failed_ms)) -ge 1800 ] ||
        e2e_fail "$1: box $((box_ms - failed_ms)) ms after [Failed], not 2 s (box at '$box_ms')"
    machine_expect_fail_after_box "$1"
}

# machine_tool_trace: the program's own trace lines (not the stand-in
# newdev.dll's nor Wine's), see e2e_trace_lines.
machine_tool_trace() { e2e_trace_lines | grep -v '^stub newdev: '; }

# machine_logged_trace: the program's trace without any stand-in DLL's lines,
# as the log writes it (a line break as \n, nothing else escaped).
machine_logged_trace() { e2e_trace_lines | grep -v '^stub [a-z0-9]*: ' | perl -pe 's/\\(["\\])/$1/g'; }

# machine_expect_trace < lines: the program traced exactly these lines, in
# this order (Wine's escaping). Feed it with a here-document or < <(...), not
# through a pipe: a check in a subshell would not count.
machine_expect_trace() { machine_expect_lines "trace lines" "$(machine_tool_trace)"; }

# machine_trace_install ROWS PORTS: the trace of a successful install of ROWS
# rows, then of PORTS ports (C, D, ...) found and renamed. The search for a
# port walks the ports in interface order (C, D, E, F, whose hardware IDs end
# in COMF, COMC, COME, COMD) up to its match.
machine_trace_install() {
    local k j
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    for ((k = 0; k < $1; k++)); do
        printf '%s\n' '**** InstallTiDevice(), Installing Root Port USB Driver ****' '--> Installing device driver'
    done
    for ((k = 0; k < $2; k++)); do
        echo '--> Device Enumeration(FindDevice)'
        for ((j = 0; j <= k; j++)); do printf '%s\n' "MF\\\\PCI1D9E_${M_PORT_ID[${M_PORTS[$j]}]}" '\n'; done
        printf '%s\n' '----> FindDevice match(REG_MULTI_SZ)!' '--> Reassigning COM port\n'
    done
}

# machine_expect_install NAME BASE PORTS: a successful install as the window
# showed it (its first text, then the empty line it may show before the
# worker's first line; the base device's row when BASE is 1, the card's and
# its PORTS ports' (1: Serial Port C; 4: C to F), each installed, "[OK]" and
# 2 s; then the ports mapped) and as dump NAME holds it: the base device with
# its driver (BASE 1) or without (0), the card with the PORTS-port driver,
# and its ports with their drivers and names COM3 onwards.
machine_expect_install() {
    local ports=("${M_PORTS[@]:0:$3}") rows=() row k
    [ "$2" = 1 ] && rows=("ZAN 7350-21x Base Device")
    machine_expect_status < <(
        printf '%s\n' 'may: Checking for previously installed drivers...' 'may: ""'
        for row in "${rows[@]}" "ZAN 7350-21x Serial Multifunction Device" "${ports[@]/#/Serial Port }"; do
            printf '%s\n' "may: Installing $row..." "must: Installing $row...[OK]"
        done
        for k in "${!ports[@]}"; do
            row="Mapping Serial Port ${ports[$k]} to COM$((k + 3))..."
            printf '%s\n' "may: $row" "must: $row[OK]"
        done
    )
    machine_expect_base "$1" "$2"
    machine_expect_card "$1" "$3"
    for k in "${!ports[@]}"; do machine_expect_port "$1" "${ports[$k]}" COM$((k + 3)); done
}

# machine_setup NAME: e2e_setup, with a clean-up that also ends the watch.
machine_setup() {
    e2e_setup "$1"
    e2e_on_exit '[ -n "$M_WATCH_PID" ] && kill "$M_WATCH_PID" 2>/dev/null'
}
