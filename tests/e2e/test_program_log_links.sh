#!/usr/bin/env bash
# A log that a planted link leads elsewhere is refused. A user made
# C:\ProgramData\ZAN before the rollout and put in it: a hard link and a
# symbolic link to files of the Windows folder, a symbolic link to a DLL that
# does not exist; and C:\ProgramData\linked, a link to a folder of the Windows
# folder. Each run with /LOG= naming one of them (a new name in the linked
# folder too) traces the refusal first, uninstalls as without a log (exit
# code 0, RESULT.SUCCESS), and leaves the files the links lead to as they
# were, with nothing new where any of them leads. A plain log beside them is
# written. On a 64-bit machine the 32-bit program, which opens the log before
# it hands over, refuses it the same way, and so does the 64-bit program it
# hands over to.
. "$(dirname "$0")/lib.sh"
e2e_setup program_log_links

zan=$WINEPREFIX/drive_c/ProgramData/ZAN
mkdir -p "$zan" "$E2E_WINDIR/target"
printf '[keep1]\r\n' >"$E2E_WINDIR/keep1.ini"
printf '[keep2]\r\n' >"$E2E_WINDIR/keep2.ini"
printf 'system\r\n' >"$E2E_WINDIR/target/existing.log"
ln "$E2E_WINDIR/keep1.ini" "$zan/hard.log"
ln -s "$E2E_WINDIR/keep2.ini" "$zan/symbolic.log"
ln -s "$E2E_WINDIR/system32/planted.dll" "$zan/planted.log"
ln -s "$E2E_WINDIR/target" "$WINEPREFIX/drive_c/ProgramData/linked"

# What the links lead to, as it must stay.
targets() {
    (cd "$E2E_WINDIR" && sha1sum keep1.ini keep2.ini && find target | sort && ls system32/planted.dll 2>&1 | sed 's/^.*: //')
}
before=$(targets)

# refused NAME PATH REASON [EXE]: a run with /LOG=PATH traced "--> Log file
# "PATH" refused: REASON" first (see e2e_expect_no_log).
refused() {
    e2e_expect_no_log "$1" "${4:-$E2E_EXE}" "/LOG=$2" "--> Log file \\\"${2//\\/\\\\}\\\" refused: $3"
}
refused "hard link" 'C:\ProgramData\ZAN\hard.log' 'the file has 2 hard links'
refused "symbolic link" 'C:\ProgramData\ZAN\symbolic.log' 'it leads to \"C:\\windows\\keep2.ini\"'
refused "link to nothing" 'C:\ProgramData\ZAN\planted.log' 'its name leads to no file'
refused "linked folder" 'C:\ProgramData\linked\existing.log' 'it leads to \"C:\\windows\\target\\existing.log\"'
refused "new name, linked folder" 'C:\ProgramData\linked\new.log' 'its folder leads to \"C:\\windows\\target\"'

if [ "$E2E_ARCH" = win64 ] && ! e2e_runs_32bit; then
    e2e_log "SKIPPED: the 32-bit program's refusal (this machine cannot start 32-bit programs)"
elif [ "$E2E_ARCH" = win64 ]; then
    app=$E2E_DIR/app
    mkdir -p "$app/x64"
    cp "$E2E_EXE32" "$app/ZanDriverInstaller.exe"
    cp "$E2E_EXE64" "$app/x64/ZanDriverInstaller.exe"
    refused "32-bit program, hard link" 'C:\ProgramData\ZAN\hard.log' 'the file has 2 hard links' \
        "$app/ZanDriverInstaller.exe"
    e2e_assert_eq 2 "$(e2e_trace_lines | grep -c 'refused: the file has 2 hard links')" \
        "refusals by both programs"
fi

e2e_assert_eq "$before" "$(targets)" "what the links lead to"

e2e_log "a plain log beside them"
e2e_run 60 "$E2E_EXE" UNINSTALL '/LOG=C:\ProgramData\ZAN\plain.log'
e2e_expect_end 0 RESULT.SUCCESS "plain log"
e2e_expect_log_format "$zan/plain.log" 1
e2e_expect_log "$zan/plain.log" "$(e2e_log_pids "$zan/plain.log")" 'UNINSTALL /LOG=C:\ProgramData\ZAN\plain.log' \
    RESULT.SUCCESS 0

e2e_finish
