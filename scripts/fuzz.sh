#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a while over its
# seed corpus (fuzz/corpus/NAME) and a working corpus (build-fuzz/corpus/NAME).
#
#   bash scripts/fuzz.sh [SECONDS] [NAME...]     default: 20 s each, every harness
#
# Prints the executions of each harness; exits 1 when one crashed, hung or
# leaked (its reproducer is left in build-fuzz/artifacts/). A long run outside
# CI:  bash scripts/fuzz.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
secs="${1:-20}"
shift || true
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(hex wiring spec script modes)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DQJ_FUZZ=ON -DQJ_GUI=OFF -DQJ_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzzers
mkdir -p build-fuzz/artifacts
status=0
for n in "${names[@]}"; do
  mkdir -p "build-fuzz/corpus/$n"
  log="build-fuzz/fuzz_$n.log"
  if ASAN_OPTIONS=detect_leaks=1 "build-fuzz/bin/fuzz_$n" -max_total_time="$secs" -timeout=20 -rss_limit_mb=2048 \
       -artifact_prefix="$PWD/build-fuzz/artifacts/${n}-" -print_final_stats=1 \
       "$PWD/build-fuzz/corpus/$n" "$PWD/fuzz/corpus/$n" >"$log" 2>&1; then
    runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "fuzz_$n: clean, ${runs:-?} executions in ${secs} s"
  else
    echo "fuzz_$n: FAILED (see $log)"
    grep -E 'ERROR|SUMMARY' "$log" | head -5 || true
    status=1
  fi
done
exit $status
