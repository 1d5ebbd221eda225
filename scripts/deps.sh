#!/usr/bin/env bash
# Installs the Debian packages a job needs when they are missing. Usage: deps.sh build|test
set -euo pipefail

build_packages=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev libasio-dev
                libtoml11-dev nlohmann-json3-dev)
test_packages=(clang libclang-rt-14-dev python3 python3-pyvisa python3-pyvisa-py)

wanted=("${build_packages[@]}")
if [ "${1:-build}" = test ]; then wanted+=("${test_packages[@]}"); fi

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
