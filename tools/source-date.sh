#!/usr/bin/env bash
# Prints the build date of the shipped programs and the zip, in seconds since
# 1970 (UTC): the PE time stamp the linker writes, the zip's file times and
# the signing time of an unstamped signature all take it, so that two builds
# of one commit are the same bytes.
#
#   SOURCE_DATE_EPOCH set     that date (it must be a whole number)
#   a git checkout            the time of its last commit (also with changes
#                             not committed: the build then is not the commit's)
#   neither (a tarball)       the fixed date 2026-01-01 00:00:00 UTC
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
fallback=1767225600

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || { echo "SOURCE_DATE_EPOCH is not a whole number: $SOURCE_DATE_EPOCH" >&2; exit 1; }
    echo "$SOURCE_DATE_EPOCH"
# Only the repository's own history counts, not that of a folder it was unpacked in.
elif [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$root" ] &&
    date=$(git -C "$root" log -1 --format=%ct 2>/dev/null) && [ -n "$date" ]; then
    echo "$date"
else
    echo "$fallback"
fi
