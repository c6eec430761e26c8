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

# field NAME FIELD: the values of FIELD in scenario NAME, one a line.
field() {
    awk -v name="$1" -v want="$2" '
        /^#/ { next }
        /^$/ { on = 0; next }
        $0 == "scenario: " name { on = 1 }
        on && index($0, want ": ") == 1 { print substr($0, length(want) + 3) }
    ' "$catalogue"
}

# The scenarios the Wine player plays.
wine_scenarios() {
    awk '/^scenario: / { name = substr($0, 11) } /^players: / && / wine|^players: wine/ { print name }' "$catalogue"
}

if [ -z "${E2E_SCENARIO:-}" ]; then
    status=0
    for name in $(wine_scenarios); do E2E_SCENARIO=$name bash "$0" || status=1; done
    exit $status
fi

name=$E2E_SCENARIO
machine_setup "scenario-$name"
[ -n "$(field "$name" run)" ] || { e2e_fail "no scenario $name in the catalogue"; e2e_finish; }
case " $(field "$name" players) " in
    *" wine "*) ;;
    *) e2e_skip "the catalogue leaves it to the native player: $(field "$name" not-wine)" ;;
esac

# --- The machine ----------------------------------------------------------------
words=() oem=()
for word in $(field "$name" machine); do
    [ "$word" = oem ] && oem=(--oem) || words+=("$word")
done
machine_provision "${words[@]}" "${oem[@]}"

# The runs before it and the renaming by hand, in the catalogue's order.
while IFS=$'\t' read -r step value; do
    case $step in
        before)
            e2e_log "before: $value"
            M_WATCH_ARGS=(--answer "$M_CAPTION=ok")
            machine_run 60 $value
            [ "$E2E_EXIT" = 0 ] || e2e_fail "before: $value ended with exit code $E2E_EXIT"
            ;;
        rename)
            machine_dump renaming
            port=$(awk -v want="device \"Serial Port ${value%% *}\"" '$0 == want { on = 1; next } /^device / { on = 0 }
                on && /^  instance / { print $2 }' "$E2E_DIR/renaming.full")
            timeout 60 wine reg add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\$port\\Device Parameters" /v PortName \
                /d "${value#* }" /f >/dev/null 2>&1 || e2e_fail "Serial Port ${value%% *} could not be renamed by hand"
            ;;
    esac
done < <(awk -v name="$name" '
    /^#/ { next }
    /^$/ { on = 0; next }
    $0 == "scenario: " name { on = 1 }
    on && /^(before|rename): / { i = index($0, ": "); print substr($0, 1, i - 1) "\t" substr($0, i + 2) }
' "$catalogue")

# --- The fault, through the stand-in setupapi.dll --------------------------------
while read -r operation _ _ code _ at n; do
    [ -n "$operation" ] || continue
    case $operation in
        SetupDiGetClassDevsA | SetupDiEnumDeviceInfo | SetupDiGetDeviceRegistryPropertyA | \
            SetupDiSetDeviceRegistryPropertyA | SetupDiGetDeviceInstanceIdA | SetupDiRemoveDevice | \
            SetupDiGetDeviceInstallParamsA | SetupDiDestroyDeviceInfoList | SetupDiOpenDevRegKey | SetupUninstallOEMInfA)
            # Wine's own newdev.dll would bind to the stand-in's few exports:
            # driver updates then succeed without installing anything.
            e2e_install_stub_newdev
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
done < <(field "$name" fault)

# old-marker: left by an earlier run.
for marker in $(field "$name" old-marker); do : >"$E2E_WINDIR/$marker"; done
# no-key: the port's "Device Parameters" key deleted by hand.
no_key=$(field "$name" no-key)
if [ -n "$no_key" ]; then
    machine_dump unkeying
    no_key_id=$(awk -v want="device \"Serial Port $no_key\"" '$0 == want { on = 1; next } /^device / { on = 0 }
        on && /^  instance / { print $2 }' "$E2E_DIR/unkeying.full")
    timeout 60 wine reg delete "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\$no_key_id\\Device Parameters" /f >/dev/null 2>&1 ||
        e2e_fail "the Device Parameters key of Serial Port $no_key could not be deleted"
fi

# --- The run --------------------------------------------------------------------------
run=$(field "$name" run)
exit_wanted=$(field "$name" exit)
machine_dump pre
# A run that shows no window is watched for a moment only.
[[ $run == *CHECK* ]] && M_WATCH_ARGS=(--timeout 3) || M_WATCH_ARGS=(--answer "$M_CAPTION=ok")
# Exit codes past 255 are read through a batch file (see lib.sh).
[ "$exit_wanted" -gt 255 ] && E2E_STARTER=e2e_start_program_for_code
e2e_log "run: $run"
machine_run 90 $run
E2E_STARTER=e2e_start_program
machine_dump post

# --- What must hold ----------------------------------------------------------------------
e2e_assert_eq "$exit_wanted" "$E2E_EXIT" "exit code"
markers=$(field "$name" markers)
[ -z "$markers" ] || e2e_assert_eq "$markers" "$(e2e_markers | tr '\n' ' ' | sed 's/ $//; s/^$/none/')" "markers"
output=$(field "$name" output)
if [ -n "$output" ]; then
    e2e_assert_eq "${output/#none/}" "$(tr -d '\r' <"$E2E_DIR/program.out" | grep -v '^exit code ')" "captured output"
fi

mapfile -t wanted < <(field "$name" status)
if [ ${#wanted[@]} -gt 0 ]; then
    # The watch's lines are quoted with their bytes escaped; these texts have none to escape.
    mapfile -t seen < <(sed -n 's/^ *[0-9]* status "\(.*\)"$/\1/p' "$M_WATCH_LOG")
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

logged=$(e2e_trace_lines | grep -v '^stub [a-z0-9]*: ' | perl -pe 's/\\(["\\])/$1/g')
while IFS= read -r line; do
    [ -n "$line" ] && ! grep -qxF -- "$line" <<<"$logged" && e2e_fail "trace lacks: $line"
done < <(field "$name" trace)

while IFS= read -r port; do
    [ -n "$port" ] || continue
    device=$(machine_device post "Serial Port ${port%% *}")
    com=${port#* }
    if [ "$com" = none ]; then
        grep -qx 'port-name absent' <<<"$device" || e2e_fail "Serial Port ${port%% *} has a port name"
        grep -q '^friendly-name ' <<<"$device" && e2e_fail "Serial Port ${port%% *} has a friendly name"
    else
        grep -qxF "port-name REG_SZ $((${#com} * 2 + 2)) bytes \"$com\\0\"" <<<"$device" ||
            e2e_fail "Serial Port ${port%% *}: no port name $com ($(grep port-name <<<"$device"))"
        grep -qF "friendly-name REG_SZ" <<<"$device" && grep -qF "\"Serial Port ${port%% *}($com)\\0\"" <<<"$device" ||
            e2e_fail "Serial Port ${port%% *}: no friendly name Serial Port ${port%% *}($com)"
    fi
done < <(field "$name" port)

files=$(machine_files post | tr 'A-Z' 'a-z')
while IFS= read -r file; do
    [ -n "$file" ] && ! grep -qxF -- "inf\\$(tr 'A-Z' 'a-z' <<<"$file")" <<<"$files" && e2e_fail "missing: inf\\$file"
done < <(field "$name" kept)
while IFS= read -r file; do
    [ -n "$file" ] && grep -qxF -- "inf\\$(tr 'A-Z' 'a-z' <<<"$file")" <<<"$files" && e2e_fail "still there: inf\\$file"
done < <(field "$name" gone)

if [ "$(field "$name" unchanged)" = yes ]; then
    cmp -s "$E2E_DIR/pre.full" "$E2E_DIR/post.full" ||
        e2e_fail "the run changed the machine: $(diff "$E2E_DIR/pre.full" "$E2E_DIR/post.full" | head -5 | tr '\n' '|')"
fi

last=$(field "$name" log-last)
if [ -n "$last" ]; then
    log=${run#*/LOG=C:\\}
    log=$WINEPREFIX/drive_c/${log%% *}
    e2e_assert_eq "$last" "$(e2e_log_lines "$log" | tail -n 1 | cut -f 3)" "the log's last line"
fi

# no-key: nothing written for the port, its key still missing.
if [ -n "$no_key" ]; then
    device=$(machine_device post "Serial Port $no_key")
    grep -qx 'device-parameters absent' <<<"$device" || e2e_fail "Serial Port $no_key has a Device Parameters key"
    grep -q '^friendly-name ' <<<"$device" && e2e_fail "Serial Port $no_key has a friendly name"
fi

# box: the one box the run showed, while no marker was there; or none.
# RESULT.FAIL comes after it; a failed install's "[Failed]" line stays 2 s before it.
box=$(field "$name" box)
if [ "$box" = none ]; then
    e2e_assert_eq "" "$(machine_boxes_seen)" "message boxes"
elif [ -n "$box" ]; then
    e2e_assert_eq "$M_CAPTION|$box|OK|none" "$(machine_boxes_seen)" "message boxes"
    if [[ " $markers " == *" RESULT.FAIL "* ]]; then
        [[ $run == INSTALL* ]] && machine_expect_failure_order "$name" || machine_expect_fail_after_box "$name"
    fi
fi

# port-name-only: the port name written, no friendly name.
while read -r letter com; do
    [ -n "$letter" ] || continue
    device=$(machine_device post "Serial Port $letter")
    grep -qxF "port-name REG_SZ $((${#com} * 2 + 2)) bytes \"$com\\0\"" <<<"$device" ||
        e2e_fail "Serial Port $letter: no port name $com"
    grep -q '^friendly-name ' <<<"$device" && e2e_fail "Serial Port $letter has a friendly name"
done < <(field "$name" port-name-only)

# update: every driver update the run asked for, in order, as the stand-in newdev.dll traced them.
if [ -n "$(field "$name" update)" ]; then
    e2e_assert_eq "$(field "$name" update)" "$(e2e_trace_lines | perl -ne 's/\\(["\\])/$1/g;
        print "$1 from $2\n" if /^stub newdev: UpdateDriverForPlugAndPlayDevicesA\("(.*)", "[A-Za-z]:\\[^\\]*\\(.*)", flags /')" \
        "driver updates"
fi

# device: a device gone, there without a driver, or with the driver of that INF.
while IFS= read -r line; do
    [ -n "$line" ] || continue
    device=$(machine_device post "${line% *}")
    driver=$(sed -n 's/^driver.InfPath "\(.*\)"$/\1/p' <<<"$device")
    [ -n "$device" ] || driver=gone
    e2e_assert_eq "${line##* }" "${driver:-none}" "the driver of ${line% *}"
done < <(field "$name" device)

e2e_finish
