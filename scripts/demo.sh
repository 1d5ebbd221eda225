#!/usr/bin/env bash
# Builds marlinctl and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target marlinctl
./build/app/marlinctl "$@"
