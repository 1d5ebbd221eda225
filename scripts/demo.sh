#!/usr/bin/env bash
# Builds marlinctl and runs the main job: "marlinctl demo", or marlinctl with the arguments given.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target marlinctl
if [ $# -eq 0 ]; then set -- demo; fi
./build/app/marlinctl "$@"
