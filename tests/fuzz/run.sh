#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each for the
# given number of seconds, starting from the saved seeds. New crashing inputs
# land in build/fuzz/findings/<target>/.
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build/fuzz

cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DZAN_FUZZ=ON -DZAN_SANITIZE=address,undefined \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j "$(nproc)" --target inf_scan_fuzz keyword_fuzz device_match_fuzz

summary=()
for target in inf_scan keyword device_match; do
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  mkdir -p "$corpus" "$findings"
  max_len=4096
  if [ "$target" = inf_scan ]; then
    max_len=2100000
    # A file of two megabytes with no newline at all.
    [ -f "$corpus/long-line" ] || { printf '\x15\xff'; head -c 2000000 /dev/zero | tr '\0' 'x'; } >"$corpus/long-line"
  fi
  echo "== $target: ${seconds}s"
  log=$build/$target.log
  if ! "$build/tests/fuzz/${target}_fuzz" "$corpus" "$root/tests/fuzz/seeds/$target" \
      -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1; then
    tail -40 "$log"
    echo "fuzz target $target found a fault; input saved in $findings" >&2
    exit 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  files=$(find "$corpus" -type f | wc -l)
  summary+=("$target: $runs executions, corpus $files inputs")
done
printf '%s\n' "${summary[@]}"
