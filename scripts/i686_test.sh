#!/usr/bin/env bash
# The driver core's test suites (driver, io, control, ui) built for 32-bit Linux and run under
# qemu-i386: 32-bit long, size_t and pointers, as the 32-bit COM server has them, through the
# same scenarios as the native build (the simulator over loopback included). The programs are
# static, so qemu-i386 runs them without an i386 loader or a binfmt registration, on any kernel.
#
#   bash scripts/i686_test.sh [BUILD_DIR]     (default build-i686)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-i686}
bash scripts/deps.sh i686
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DMARLIN_BENCH=OFF -DMARLIN_APP=OFF -DMARLIN_TEST_AREAS="driver;io;control;ui" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2
