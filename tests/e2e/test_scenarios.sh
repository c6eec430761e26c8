#!/usr/bin/env bash
# The Wine player of the catalogue of scenarios (tests/scenarios/catalogue.txt):
# the scenario named by E2E_SCENARIO played with the real program under Wine
# on a machine provisioned by tools/provision.sh, its fault injected through
# the stand-in DLLs, and what must hold afterwards checked against the
# machine's dump, the window watch, the trace and the captured output.
# run-all.sh runs one scenario a run; without E2E_SCENARIO every scenario the
# Wine player plays is played here in turn.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
catalogue=$E2E_ROOT/tests/scenarios/catalogue.txt

if [ -z "${E2E_SCENARIO:-}" ]; then
    status=0
    for name in $(awk '/^scenario: / { n = substr($0, 11) } /^players: / && / wine/ { print n }' "$catalogue"); do
        E2E_SCENARIO=$name bash "$0" || status=1
    done
    exit $status
fi

name=$E2E_SCENARIO
# The scenario's lines, in the catalogue's order: a "FIELD<tab>VALUE" line each.
row=$(awk -v name="$name" '
    /^#/ { next }
    /^$/ { on = 0; next }
    $0 == "scenario: " name { on = 1 }
    on { i = index($0, ": "); print substr($0, 1, i - 1) "\t" substr($0, i + 2) }
' "$catalogue")
# field FIELD: its values, one a line (values sharing a line split by " | ").
field() { awk -F '\t' -v want="$1" '$1 == want { v = substr($0, length(want) + 2); gsub(/ \| /, "\n", v); print v }' <<<"$row"; }
# The runs before it and the renaming by hand, in the catalogue's order.
steps=$(grep -E $'^(before|rename)\t' <<<"$row")

# The first run before a row, on a freshly provisioned machine, is the same
# for several rows: the first row to make it keeps the prefix it leaves
# (build/e2e/<arch>/before/<key>, keyed by the template, the machine, what
# provisions it, the run and the program), and the rows after it start from
# a copy. Rows that need it at once take turns (the lock on fd 8, which no
# lasting process inherits); a failed run keeps nothing, and a row that waits
# too long makes its own.
kept=""
if [[ $steps == before$'\t'* ]] && [[ " $(field players) " == *" wine "* ]]; then
    kept=$E2E_WORK/$E2E_ARCH/before/$({ e2e_template_stamp; cat "$E2E_TEMPLATE.files" 2>/dev/null
        field machine; echo "${steps%%$'\n'*}"
        find "$E2E_EXE" "$M_POSMACHINE" "$E2E_ROOT/tools/provision.sh" "$E2E_ROOT/tools/inf" -type f -print0 |
            sort -z | xargs -0 sha1sum | cut -d' ' -f1; } | sha1sum | cut -c1-16)
    mkdir -p "${kept%/*}"
    exec 8>"$kept.lock"
    if ! flock -w 300 8; then
        echo "[e2e] $kept.lock stayed locked for 300 s: this row makes its own" >&2
        kept=""
    elif [ -d "$kept" ]; then
        export E2E_PREFIX_FROM=$kept
        touch "$kept"
    fi
fi
# keep_prefix: the prefix as it is now becomes the kept one (Wine ended for
# the copy, so that the registry is on disk, then started again). Kept
# prefixes no row has used for two days go (find -mtime +1), each under its own lock.
keep_prefix() {
    local old
    wine_env_stop_wine "$WINEPREFIX"
    find "${kept%/*}" -mindepth 1 -maxdepth 1 -type d -mtime +1 -print | while IFS= read -r old; do
        flock -n "${old%.new.*}.lock" rm -rf "$old"
    done
    if e2e_copy_prefix "$WINEPREFIX" "$kept.new.$$"; then
        mv -T "$kept.new.$$" "$kept"
    else
        rm -rf "$kept.new.$$"
        e2e_log "the prefix could not be kept"
    fi
    e2e_start_wine 8>&- </dev/null
}

machine_setup "scenario-$name" 8>&-
[ -n "$(field run)" ] || { e2e_fail "no scenario $name in the catalogue"; e2e_finish; }
case " $(field players) " in
    *" wine "*) ;;
    *) e2e_skip "the catalogue leaves it to the native player: $(field not-wine)" ;;
esac

# --- The machine ----------------------------------------------------------------
if [ -n "${E2E_PREFIX_FROM:-}" ]; then
    e2e_log "before: ${steps%%$'\n'*}: the prefix an earlier row kept"
    steps=$(tail -n +2 <<<"$steps")
    kept=""
    flock -u 8
else
    words=() oem=()
    for word in $(field machine); do
        [ "$word" = oem ] && oem=(--oem) || words+=("$word")
    done
    machine_provision "${words[@]}" "${oem[@]}"
fi

# port_instance LETTER: Serial Port LETTER's device instance ID, from a fresh dump.
port_instance() {
    machine_dump instances
    awk -v want="device \"Serial Port $1\"" '$0 == want { on = 1; next } /^device / { on = 0 }
        on && /^  instance / { print $2 }' "$E2E_DIR/instances.full"
}

while IFS=$'\t' read -r step value; do
    case $step in
        before)
            e2e_log "before: $value"
            M_WATCH_ARGS=(--answer "$M_CAPTION=ok")
            machine_run 60 $value 8>&-
            [ "$E2E_EXIT" = 0 ] || e2e_fail "before: $value ended with exit code $E2E_EXIT"
            ;;
        rename)
            port=$(port_instance "${value%% *}")
            timeout 60 wine reg add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\$port\\Device Parameters" /v PortName \
                /d "${value#* }" /f >/dev/null 2>&1 || e2e_fail "Serial Port ${value%% *} could not be renamed by hand"
            ;;
    esac
    if [ -n "$kept" ]; then
        [ "$E2E_FAILURES" = 0 ] && keep_prefix
        kept=""
        flock -u 8
    fi
done <<<"$steps"

# --- file: the files in the way, arranged in the catalogue's order ----------------
# file_host PATH: where the Windows path C:\... lies in the prefix.
file_host() { local p=${1#[Cc]:\\}; printf '%s/drive_c/%s' "$WINEPREFIX" "${p//\\//}"; }
# file_contents FILE: the hash of its bytes, a folder's files and theirs, or "absent".
file_contents() {
    if [ -d "$1" ]; then (cd "$1" && find . -type f | sort | xargs -r sha1sum)
    elif [ -e "$1" ]; then sha1sum <"$1"
    else echo absent; fi
}
held=()
declare -A as_it_was=()
while read -r state path; do
    [ -n "$state" ] || continue
    target=""
    [[ $state == *link || $state == copy-of ]] && read -r path target <<<"$path"
    f=$(file_host "$path")
    mkdir -p "$(dirname "$f")"
    case $state in
        plain) : >"$f" ;;
        # Root may write a file without write permission under Wine: immutable too.
        read-only)
            [ -e "$f" ] || : >"$f"
            chmod a-w "$f"
            chattr +i "$f" || e2e_fail "$path could not be made immutable"
            e2e_on_exit "chattr -i '$f' 2>/dev/null"
            ;;
        held) held+=(none "$path") ;;
        held-read) held+=(read "$path") ;;
        folder) rm -f "$f" && mkdir -p "$f" ;;
        hard-link) ln "$(file_host "$target")" "$f" ;;
        link) ln -s "$(file_host "$target")" "$f" ;;
        copy-of) cat "$(file_host "$target")" >"$f" && target="" ;;
    esac
    [ -n "$target" ] && as_it_was[$target]=$(file_contents "$(file_host "$target")")
    [ "$state" = read-only ] && as_it_was[$path]=$(file_contents "$f")
done < <(field file)
if [ ${#held[@]} -gt 0 ]; then
    e2e_require "$E2E_HELPERS/file-holder/file-holder.exe"
    wine "$E2E_HELPERS/file-holder/file-holder.exe" 300 "${held[@]}" >"$E2E_DIR/holder.log" 2>&1 &
    e2e_on_exit "kill $! 2>/dev/null"
    wine_env_wait_file "$E2E_DIR/holder.log" 30 $!
    grep -q '^holding' "$E2E_DIR/holder.log" || e2e_fail "the files are not held: $(cat "$E2E_DIR/holder.log")"
fi

# restart: the stand-in DLLs say a restart is needed after each driver update, or each removal.
case $(field restart) in
    "driver update") e2e_install_stub_newdev && export ZAN_STUB_NEWDEV_REBOOT=1 ;;
    removal) e2e_install_stub_newdev && e2e_install_stub_for_program setupapi && export ZAN_STUB_SETUPAPI_NEEDREBOOT=1 ;;
esac

# --- The fault, through the stand-in setupapi.dll --------------------------------
while read -r operation _ _ code _ at n; do
    [ -n "$operation" ] || continue
    case $operation in
        SetupDiGetClassDevsA | SetupDiEnumDeviceInfo | SetupDiGetDeviceRegistryPropertyA | \
            SetupDiSetDeviceRegistryPropertyA | SetupDiGetDeviceInstanceIdA | SetupDiRemoveDevice | \
            SetupDiGetDeviceInstallParamsA | SetupDiDestroyDeviceInfoList | SetupDiOpenDevRegKey | SetupUninstallOEMInfA)
            # Wine's own newdev.dll would bind to the stand-in's few exports:
            # driver updates then succeed without installing anything (or
            # fail as a newdev fault of the same row asks).
            e2e_install_stub_newdev ${ZAN_STUB_NEWDEV_ERROR:+"$ZAN_STUB_NEWDEV_ERROR"}
            e2e_install_stub_for_program setupapi
            [ "${ZAN_STUB_SETUPAPI_ERROR:-$code}" = "$code" ] || e2e_fail "the stand-in setupapi.dll fails with one code"
            export ZAN_STUB_SETUPAPI_ERROR=$code
            [ "$at" = call ] && operation="$operation#$n"
            export ZAN_STUB_SETUPAPI_FAIL=${ZAN_STUB_SETUPAPI_FAIL:+$ZAN_STUB_SETUPAPI_FAIL,}$operation
            ;;
        UpdateDriverForPlugAndPlayDevicesA)
            e2e_install_stub_newdev
            export ZAN_STUB_NEWDEV_ERROR=$code
            [ "$at" = call ] && export ZAN_STUB_NEWDEV_FAIL_CALL=$n
            ;;
        SHGetFolderPathA)
            [ "$at $code" = "every 0x80004005" ] || { e2e_fail "the stand-in shell32.dll fails every call with E_FAIL only"; e2e_finish; }
            e2e_install_stub_for_program shell32
            export ZAN_STUB_SHELL32_FAIL=1
            ;;
        *) e2e_fail "the Wine player cannot make $operation fail: mark the scenario native only"; e2e_finish ;;
    esac
done < <(field fault)

# no-key: the port's "Device Parameters" key deleted by hand.
no_key=$(field no-key)
if [ -n "$no_key" ]; then
    no_key_id=$(port_instance "$no_key")
    timeout 60 wine reg delete "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\$no_key_id\\Device Parameters" /f >/dev/null 2>&1 ||
        e2e_fail "the Device Parameters key of Serial Port $no_key could not be deleted"
fi

# --- The run --------------------------------------------------------------------------
run=$(field run)
exit_wanted=$(field exit)
# old-marker, put: files an earlier run or the system left.
while IFS= read -r marker; do [ -n "$marker" ] && touch "$E2E_WINDIR/$marker"; done < <(field old-marker)
while IFS= read -r file; do [ -n "$file" ] && : >"$E2E_WINDIR/inf/${file//\\//}"; done < <(field put)
machine_dump pre
# A check shows no window and asks nothing; any other run's error box is answered.
[[ $run == *CHECK* ]] && M_WATCH_ARGS=() || M_WATCH_ARGS=(--answer "$M_CAPTION=ok")
# question: the watch answers each question as the row says.
while IFS= read -r q; do
    [[ $q == *" answered "* ]] && M_WATCH_ARGS+=(--answer "${q%% answered *}=$(sed 's/^\(yes\|no\).*/\1/' <<<"${q#* answered }")")
done < <(field question)
# Exit codes past 255 are read through a batch file (see lib.sh).
[ "$exit_wanted" -gt 255 ] && E2E_STARTER=e2e_start_program_for_code
# A run text with quotes, or a log named by a relative path, goes as it is
# written through a batch file started in C:\, as deployment tools start programs.
scenario_start_raw() {
    printf '@cd /d C:\\\r\n@"%s" %s\r\n@echo exit code %%ERRORLEVEL%%\r\n' "$(winepath_of "$E2E_EXE")" \
        "$(field run)" >"$WINEPREFIX/drive_c/scenario-run.bat"
    e2e_start_program cmd /c 'C:\scenario-run.bat'
    E2E_EXIT_FROM_BATCH=1
}
[[ $run == *\"* || $run =~ /LOG=[^C\ ] ]] && E2E_STARTER=scenario_start_raw
e2e_log "run: $run"
machine_run 90 $run
E2E_STARTER=e2e_start_program
machine_dump post

# --- What must hold ----------------------------------------------------------------------
e2e_assert_eq "$exit_wanted" "$E2E_EXIT" "exit code"
[[ $run != *CHECK* ]] || e2e_assert_eq "" "$(grep 'window shown' "$M_WATCH_LOG")" "a window"
markers=$(field markers)
left=$(e2e_markers | tr '\n' ' ')
left=${left% }
[ -z "$markers" ] || e2e_assert_eq "$markers" "${left:-none}" "markers"
output=$(field output)
if [ -n "$output" ]; then
    e2e_assert_eq "${output/#none/}" "$(tr -d '\r' <"$E2E_DIR/program.out" | grep -v '^exit code ')" "captured output"
fi

# The status lines the watch saw, quoted with their bytes escaped; these texts have none to escape.
mapfile -t seen < <(sed -n 's/^ *[0-9]* status "\(.*\)"$/\1/p' "$M_WATCH_LOG")
mapfile -t wanted < <(field status)
if [ ${#wanted[@]} -gt 0 ]; then
    at=0 last=""
    for line in "${seen[@]}"; do
        for ((k = at; k < ${#wanted[@]}; k++)); do
            if [ "${wanted[$k]}" = "$line" ]; then at=$k last=$line; break; fi
        done
        if [ $k -eq ${#wanted[@]} ] && printf '%s\n' "${wanted[@]}" | grep -qxF -- "$line"; then
            e2e_fail "status line out of order: $line"
        fi
    done
    e2e_assert_eq "${wanted[-1]}" "$last" "the last status line"
fi

logged=$(machine_logged_trace)
while IFS= read -r line; do
    [ -n "$line" ] && ! grep -qxF -- "$line" <<<"$logged" && e2e_fail "trace lacks: $line"
done < <(field trace)

# port, port-name-only: the port's name and its friendly name, the name alone, or neither.
while IFS= read -r port; do
    [ -n "$port" ] || continue
    name_only=0
    [[ $port == "name-only "* ]] && name_only=1 port=${port#name-only }
    letter=${port%% *} com=${port#* }
    device=$(machine_device post "Serial Port $letter")
    if [ "$com" = none ]; then
        grep -qx 'port-name absent' <<<"$device" || e2e_fail "Serial Port $letter has a port name"
    else
        grep -qxF "port-name REG_SZ $((${#com} * 2 + 2)) bytes \"$com\\0\"" <<<"$device" ||
            e2e_fail "Serial Port $letter: no port name $com ($(grep port-name <<<"$device"))"
    fi
    if [ "$com" = none ] || [ $name_only = 1 ]; then
        grep -q '^friendly-name ' <<<"$device" && e2e_fail "Serial Port $letter has a friendly name"
    else
        grep -qF "friendly-name REG_SZ" <<<"$device" && grep -qF "\"Serial Port $letter($com)\\0\"" <<<"$device" ||
            e2e_fail "Serial Port $letter: no friendly name Serial Port $letter($com)"
    fi
done < <(field port; field port-name-only | sed 's/^/name-only /')

# kept, gone: the INF folder's files there or not.
files=$(machine_files post | tr 'A-Z' 'a-z')
while read -r want file; do
    grep -qxF -- "inf\\$(tr 'A-Z' 'a-z' <<<"$file")" <<<"$files" && there=kept || there=gone
    [ "$there" = "$want" ] || e2e_fail "inf\\$file: wanted $want"
done < <(field kept | sed 's/^/kept /'; field gone | sed 's/^/gone /')

if [ "$(field unchanged)" = yes ]; then
    cmp -s "$E2E_DIR/pre.full" "$E2E_DIR/post.full" ||
        e2e_fail "the run changed the machine: $(diff "$E2E_DIR/pre.full" "$E2E_DIR/post.full" | head -5 | tr '\n' '|')"
fi

# log_path: the file the run's /LOG= names. The name runs to a closing quote,
# or without one to a space; a relative one is below C:\, where runs start.
log_path() {
    local log=${run#*/LOG=}
    log=${log#\"}
    [[ $log == *\"* ]] && log=${log%%\"*} || log=${log%% *}
    log=${log#C:\\}
    echo "$WINEPREFIX/drive_c/${log//\\//}"
}

last=$(field log-last)
if [ -n "$last" ]; then
    e2e_assert_eq "$last" "$(e2e_log_lines "$(log_path)" | tail -n 1 | cut -f 3)" "the log's last line"
fi

# question: the boxes seen are these Yes/No questions, in order, each with no
# marker present and answered while the window showed an empty status line
# (it shows the worker's line on its next tick, which may come after the box).
if [ -n "$(field question)" ]; then
    mapfile -t answers < <(sed -n 's/^ *[0-9]* box answer "&\(.*\)"$/\1/p' "$M_WATCH_LOG" | tr 'A-Z' 'a-z')
    mapfile -t box_lines < <(machine_boxes_seen)
    mapfile -t wanted < <(field question | grep -vx none)
    e2e_assert_eq "${#wanted[@]}" "${#box_lines[@]}" "boxes shown"
    for k in "${!box_lines[@]}"; do
        IFS='|' read -r caption text buttons box_markers <<<"${box_lines[$k]}"
        e2e_assert_eq "&Yes,&No|none" "$buttons|$box_markers" "question $caption: buttons and markers"
        asked="$caption answered ${answers[$k]:-none}"
        [[ ${wanted[$k]:-} == *", asking "* ]] && asked+=", asking ${text//\\x0A/\\n}"
        e2e_assert_eq "${wanted[$k]:-}" "$asked" "question $((k + 1))"
    done
    awk 'BEGIN { last = "\"\"" } / status "/ { last = $0; sub(/^ *[0-9]* status /, "", last) } / box answer / { print last }' "$M_WATCH_LOG" |
        grep -qvx '""' && e2e_fail "a question answered while the window's status line was not empty"
fi

# trace-all: the whole trace in order, after the window's first line.
if [ -n "$(field trace-all)" ]; then
    mapfile -t got <<<"$logged"
    e2e_assert_eq 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n' "${got[0]}" "the window's trace line"
    mapfile -t wanted < <(field trace-all)
    e2e_assert_eq "${#wanted[@]}" "$((${#got[@]} - 1))" "trace lines"
    for k in "${!wanted[@]}"; do
        [ "${wanted[$k]}" = "(any one line)" ] || e2e_assert_eq "${wanted[$k]}" "${got[$((k + 1))]:-}" "trace line $((k + 1))"
    done
fi

# driver: the INF each device's driver came from (Wine records its file name
# and the section), none, or gone (no such device).
while IFS= read -r driver; do
    [ -n "$driver" ] || continue
    device=$(machine_device post "${driver%: *}")
    inf=${driver##*: }
    case $inf in
        gone) [ -z "$device" ] || e2e_fail "${driver%: *} is still there" ;;
        none) [ -n "$device" ] && ! grep -q '^driver\.' <<<"$device" || e2e_fail "${driver%: *}: no such device, or it has a driver" ;;
        *)
            case $inf in
                ZANBaseD.inf) section=ZANBase_Install ;;
                ZANPorts.inf) section=ZANPort_Install ;;
                *1port*) section=ZAN1Port_Install ;;
                *) section=ZAN4Port_Install ;;
            esac
            grep -qxF "driver.InfPath \"${inf##*\\}\"" <<<"$device" && grep -qxF "driver.InfSection \"$section\"" <<<"$device" ||
                e2e_fail "${driver%: *}: no driver from $inf ($(grep '^driver\.' <<<"$device" | tr '\n' ' '))"
            ;;
    esac
done < <(field driver)

# devices: exactly these devices are left, by description.
if [ -n "$(field devices)" ]; then
    e2e_assert_eq "$(field devices | sort)" "$(machine_devices post | sort)" "devices left"
fi

# untouched: these devices are as they were.
while IFS= read -r device; do
    [ -n "$device" ] || continue
    [ -n "$(machine_device pre "$device")" ] || e2e_fail "no device $device"
    [ "$(machine_device pre "$device")" = "$(machine_device post "$device")" ] || e2e_fail "$device changed"
done < <(field untouched)

# inf-unchanged: the INF folder holds the same files.
[ "$(field inf-unchanged)" = yes ] && e2e_assert_eq "$(machine_files pre)" "$(machine_files post)" "the INF folder's files"

# package-removal: the OEM copies handed to the driver package removal, in
# order, as Wine's own line on each says.
if [ -n "$(field package-removal)" ]; then
    e2e_assert_eq "$(field package-removal)" "$(sed -n 's/^[0-9a-f]*:fixme:setupapi:SetupUninstallOEMInfW not deleting L"\(.*\)"$/\1/p' "$E2E_TRACE" | sed 's/.*\\//')" "package removals"
fi

# status-held: every held status line seen, in this order.
k=0
while IFS= read -r line; do
    while [ $k -lt ${#seen[@]} ] && [ "${seen[$k]}" != "$line" ]; do k=$((k + 1)); done
    [ $k -lt ${#seen[@]} ] || e2e_fail "held status line not seen in order: $line"
    k=$((k + 1))
done < <(field status-held)
# file: a folder in the way is still one; a read-only file and what a link leads to are as they were.
while read -r state path; do
    [ "$state" = folder ] && ! [ -d "$(file_host "$path")" ] && e2e_fail "no longer a folder: $path"
done < <(field file)
for path in "${!as_it_was[@]}"; do
    [ "$(file_contents "$(file_host "$path")")" = "${as_it_was[$path]}" ] || e2e_fail "changed: $path"
done

# log: lines the log the run's /LOG= names holds (the program's line names
# the architecture of the run).
while IFS= read -r line; do
    line=${line/ x64, / $E2E_ARCH_NAME, }
    [ -n "$line" ] && ! e2e_log_lines "$(log_path)" | cut -f 3 | grep -qxF -- "$line" &&
        e2e_fail "the log lacks: $line"
done < <(field log)

# boxes: how many message boxes the run showed.
boxes_wanted=$(field boxes)
[ -z "$boxes_wanted" ] || e2e_assert_eq "$boxes_wanted" "$(machine_boxes_seen | grep -c .)" "message boxes"

# no-key: nothing written for the port, its key still missing.
if [ -n "$no_key" ]; then
    device=$(machine_device post "Serial Port $no_key")
    grep -qx 'device-parameters absent' <<<"$device" || e2e_fail "Serial Port $no_key has a Device Parameters key"
    grep -q '^friendly-name ' <<<"$device" && e2e_fail "Serial Port $no_key has a friendly name"
fi

# box: the one box the run showed, while no marker was there; or none.
# RESULT.FAIL comes after it; a failed install's "[Failed]" line stays 2 s before it.
box=$(field box)
if [ "$box" = none ]; then
    e2e_assert_eq "" "$(machine_boxes_seen)" "message boxes"
elif [ -n "$box" ]; then
    e2e_assert_eq "$M_CAPTION|$box|OK|none" "$(machine_boxes_seen)" "message boxes"
    if [[ " $markers " == *" RESULT.FAIL "* ]]; then
        if [[ " $run " == *" INSTALL "* ]]; then
            machine_expect_failure_order "$name"
        else
            machine_expect_fail_after_box "$name"
        fi
    fi
fi

# update: every driver update the run asked for, in order, as the stand-in newdev.dll traced them.
if [ -n "$(field update)" ]; then
    e2e_assert_eq "$(field update)" "$(e2e_trace_lines | perl -ne 's/\\(["\\])/$1/g;
        print "$1 from $2\n" if /^stub newdev: UpdateDriverForPlugAndPlayDevicesA\("(.*)", "[A-Za-z]:\\[^\\]*\\(.*)", flags /')" \
        "driver updates"
fi

e2e_finish
