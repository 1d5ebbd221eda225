#!/usr/bin/env bash
# Installs the Debian packages a job needs when they are missing.
# Usage: deps.sh build|test|lint|com
set -euo pipefail

build_packages=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev libasio-dev
                libtomlplusplus-dev nlohmann-json3-dev pkg-config libcpp-httplib-dev libexpat1-dev)
test_packages=(clang libclang-rt-14-dev python3 python3-pyvisa python3-pyvisa-py strace gdb)
# clang-tidy also reads the COM server's cross-build, which needs the IDL compiler's headers.
lint_packages=(clang-format clang-tidy mingw-w64 g++-mingw-w64-x86-64-posix wine64-tools
               libwine-dev)
# wine32:i386 runs the 32-bit server and hosts beside wine64; wixl builds the installers.
com_packages=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64
              wine64-tools libwine-dev wine32:i386 wixl)

wanted=("${build_packages[@]}")
case "${1:-build}" in
  build) ;;
  test) wanted+=("${test_packages[@]}") ;;
  lint) wanted+=("${lint_packages[@]}") ;;
  com) wanted+=("${com_packages[@]}") ;;
  *) echo "usage: deps.sh build|test|lint|com" >&2; exit 2 ;;
esac

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
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
