#!/usr/bin/env bash
# Runs every tests/e2e/test_*.sh (each under Wine with its own prefix and X
# server), then prints "N passed, N failed" and exits non-zero on a failure.
# Arguments, if any, select tests by name part: run-all.sh program_no_keyword
set -u
here=$(cd "$(dirname "$0")" && pwd)

# One template prefix for the whole run.
E2E_RUN_ID="$(date +%s)-$$"
export E2E_RUN_ID

passed=0
failed=0
failed_names=()
for test in "$here"/test_*.sh; do
    name=$(basename "$test" .sh)
    if [ $# -gt 0 ]; then
        match=0
        for want in "$@"; do [[ $name == *"$want"* ]] && match=1; done
        [ $match -eq 1 ] || continue
    fi
    echo "=== $name" >&2
    if bash "$test"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failed_names+=("$name")
    fi
done

[ $failed -gt 0 ] && echo "failed: ${failed_names[*]}" >&2
echo "$passed passed, $failed failed"
[ $failed -eq 0 ] && [ $passed -gt 0 ]
