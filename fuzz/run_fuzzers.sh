#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a while (default 10 s,
# or the first argument). Any crash, leak or sanitizer report fails the run; the input that
# caused it is left in build-fuzz/ as crash-*, leak-* or timeout-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
targets=(device_list shell_line instrument_answer sim_scpi_line trace_timeline http_request)
build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DMARLIN_FUZZ=ON -DMARLIN_TESTS=OFF -DMARLIN_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzz}"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  (cd "$build" && "./fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -dict="../fuzz/$target.dict" "corpus/$target" "../fuzz/corpus/$target")
done
