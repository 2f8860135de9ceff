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
ctest --test-dir build --output-on-failure -j"$jobs"
if [ "${QJ_SKIP_SANITIZE:-0}" != 1 ]; then
  # -O1: the sanitizers' checks stay, at a third of the unoptimised run time.
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DQJ_WERROR=ON -DQJ_SANITIZE=ON
  targets=(core_tests gui_tests)
  # The emulated FT232R's tests exist where umockdev does (scripts/deps.sh installs it).
  if cmake --build build-asan --target help | grep -w usb_tests > /dev/null; then targets+=(usb_tests); fi
  cmake --build build-asan -j"$jobs" --target "${targets[@]}"
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs"
fi
