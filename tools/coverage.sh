#!/usr/bin/env bash
# Runs the native suite of a build made with gcc's --coverage and reports,
# with gcovr, the line and branch coverage of the program's own files (run/,
# installer/, device/, platform/trace.cpp and the window-free ui/ files; not
# sim/, not tests/): a table per file, the lines no test reached, and an HTML
# report, <build>/html/index.html. The branches gcc adds for exceptions are
# left out of the branch figures.
#
#   tools/coverage.sh BUILD_DIR [JOBS]      (make coverage builds BUILD_DIR)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
jobs=${2:-$(nproc)}
cd "$root"

# Counts left by an earlier run would add up with this one's.
find "$build" -name '*.gcda' -delete
if ! (cd "$build" && ctest -j "$jobs" --output-on-failure) >"$build/ctest.log" 2>&1; then
  tail -n 40 "$build/ctest.log"
  echo "coverage: the native suite failed; its output: $build/ctest.log" >&2
  exit 1
fi
grep -E '^[0-9]+% tests passed' "$build/ctest.log"

json=$build/coverage.json
# (Not the objects of the compiler check CMake makes in CMakeFiles/<version>/.)
gcovr --root "$root" --object-directory "$build" --exclude-directories "$build/CMakeFiles/[0-9]" -j "$jobs" \
  --filter 'run/' --filter 'installer/' --filter 'device/' --filter 'platform/trace\.cpp' --filter 'ui/' \
  --exclude-throw-branches --json "$json"
mkdir -p "$build/html"
gcovr --add-tracefile "$json" --html-details "$build/html/index.html" --html-title "ZanDriverInstaller coverage"

# One row per file: lines and branches, reached of all.
gcovr --add-tracefile "$json" --csv | awk -F, '
  function cell(hit, all) { return all ? sprintf("%4d/%-4d %5.1f%%", hit, all, 100 * hit / all) : sprintf("%17s", "-") }
  NR == 1 { printf "%-32s %-17s  %-17s\n", "File", "Lines", "Branches"; next }
  { printf "%-32s %s  %s\n", $1, cell($3, $2), cell($6, $5); l += $2; lh += $3; b += $5; bh += $6 }
  END { printf "%-32s %s  %s\n", "Total", cell(lh, l), cell(bh, b) }'

echo "Lines no test reached:"
gcovr --add-tracefile "$json" --txt | awk 'NF == 5 && $2 ~ /^[0-9]+$/ { print "  " $1 ": " $5 }'
echo "HTML report: $build/html/index.html"
