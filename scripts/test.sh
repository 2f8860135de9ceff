#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs the whole test
# suite, then the same suite built with AddressSanitizer + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQJ_WERROR=ON
cmake --build build -j"$jobs"
# The tests over the emulated FT232R run in real time through a socket round
# trip per USB request: on a loaded machine one may miss a deadline the real
# chip would meet. They get a second run, and a first failure is still printed.
run_tests() {
  ctest --test-dir "$1" --output-on-failure -j"$jobs" -E '^libftdi[.]'
  ctest --test-dir "$1" --output-on-failure -j"$jobs" -R '^libftdi[.]' --repeat until-pass:2 --no-tests=ignore
}
run_tests build
if [ "${QJ_SKIP_SANITIZE:-0}" != 1 ]; then
  # -O1: the sanitizers' checks stay, and the suite runs in a fraction of the unoptimised time.
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DQJ_WERROR=ON -DQJ_SANITIZE=ON
  targets=(core_tests gui_tests)
  # The emulated FT232R's tests exist where umockdev does (scripts/deps.sh installs it).
  if cmake --build build-asan --target help | grep -w usb_tests > /dev/null; then targets+=(usb_tests); fi
  cmake --build build-asan -j"$jobs" --target "${targets[@]}"
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-asan
fi
