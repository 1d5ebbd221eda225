#!/usr/bin/env bash
# Builds everything and runs the test suite. With --sanitize: the same under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = --sanitize ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DMARLIN_SANITIZE=ON -DMARLIN_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2
