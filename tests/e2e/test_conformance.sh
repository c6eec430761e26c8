#!/usr/bin/env bash
# The platform conformance suite against the real API: the Windows build of
# tests/conformance (the checks the native build runs against the simulated
# machine) runs in a fresh prefix, creates its devices and files there, and
# must pass every check in every group. Where Wine's driver update or driver
# package removal differs from Windows the program shows what Wine did
# instead of asserting it; those lines go to the log. Whether every operation
# was called is counted on the simulated machine only.
. "$(dirname "$0")/lib.sh"
e2e_setup conformance

exe=$E2E_BUILD/$E2E_ARCH/tests/conformance/platform_conformance.exe
e2e_require "$exe"

out=$E2E_DIR/conformance.out
status=0
WINEDEBUG=+debugstr timeout 120 wine "$exe" >"$out" 2>"$E2E_DIR/conformance.err" || status=$?
tr -d '\r' <"$out" >"$out.txt"

e2e_assert_eq 0 "$status" "exit code"
head -n 1 "$out.txt" | grep -q '^platform conformance against the Windows API (Wine ' ||
    e2e_fail "not run against the Windows API under Wine: $(head -n 1 "$out.txt")"

# Every group ran, in order; a group left out would shrink what is compared.
sections=$(sed -n 's/^== //p' "$out.txt")
expected='arrange
every device of every class (DIGCF_ALLCLASSES)
size fields: element and install parameters
device property reads
instance IDs
present devices by interface (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)
friendly name write
registry: a device'"'"'s "Device Parameters" key
device removal
driver update
driver key (DIREG_DRV)
file search (OEM*.inf)
file deletion
file open, read and create
driver package removal
log file: append and sharing
log file: links
program start
Windows folder
named mutex
local time and process ID
last error, error mode and redirection
windows and keyboard input
standard output
every operation called'
[ "$sections" = "$expected" ] || e2e_fail "groups run differ: $(echo "$sections" | tr '\n' '|')"

# The one check the process cannot make itself: its debugger output.
E2E_TRACE=$E2E_DIR/conformance.err
e2e_assert_trace 'zan conformance: debugger output\n'
grep 'FAILED' "$out.txt" >&2 && e2e_fail "some checks failed (above)"
summary=$(tail -n 1 "$out.txt")
[[ $summary =~ ^([0-9]+)\ passed,\ 0\ failed$ ]] && [ "${BASH_REMATCH[1]}" -gt 0 ] ||
    e2e_fail "closing line: $summary"
grep '^   ' "$out.txt" | while IFS= read -r line; do e2e_log "${line#   }"; done
e2e_log "$summary"

e2e_finish
