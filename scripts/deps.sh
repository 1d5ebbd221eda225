#!/usr/bin/env bash
# Installs the Debian packages a job needs when they are missing.
# Usage: deps.sh build|test|lint|com|i686
set -euo pipefail

build_packages=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev libasio-dev
                libtomlplusplus-dev nlohmann-json3-dev pkg-config libcpp-httplib-dev libexpat1-dev
                python3-dev pybind11-dev python3-pybind11)
test_packages=(clang libclang-rt-14-dev python3 python3-pyvisa python3-pyvisa-py python3-pytest strace
               gdb)
# clang-tidy also reads the COM server's cross-build, which needs the IDL compiler's headers.
lint_packages=(clang-format clang-tidy mingw-w64 g++-mingw-w64-x86-64-posix wine64-tools
               libwine-dev)
# wine32:i386 runs the 32-bit server and hosts beside wine64; wixl builds the installers, msitools'
# msibuild adds the x64 installer's PATH entry; curl asks the Windows panel's API.
com_packages=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64
              wine64-tools libwine-dev wine32:i386 wixl msitools curl)
# The core's test suites built for 32-bit Linux: static, so qemu-i386 runs them without binfmt.
i686_packages=(g++-multilib libgtest-dev:i386 libgmock-dev:i386)

wanted=("${build_packages[@]}")
case "${1:-build}" in
  build) ;;
  test) wanted+=("${test_packages[@]}") ;;
  lint) wanted+=("${lint_packages[@]}") ;;
  com) wanted+=("${com_packages[@]}") ;;
  i686) wanted+=("${i686_packages[@]}") ;;
  *) echo "usage: deps.sh build|test|lint|com|i686" >&2; exit 2 ;;
esac

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# 32-bit programs where the kernel runs none: qemu-user 10 from backports (Debian 12's own 7.2
# takes about 85 s to start each 32-bit wine process). Without qemu-user-binfmt, which would
# register it for the whole system; com_test.sh registers it in a namespace of its own.
qemu_major() {
  dpkg-query -W -f='${Status} ${Version}' qemu-user 2>/dev/null |
    sed -nE 's/^install ok installed ([0-9]+:)?([0-9]+)\..*/\2/p'
}
if [ "${1:-build}" = com ] || [ "${1:-build}" = i686 ]; then
  if [ "$(qemu_major)" = "" ] || [ "$(qemu_major)" -lt 10 ]; then
    suite=()
    # shellcheck disable=SC1091
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ "$codename" = bookworm ]; then
      suite=(-t bookworm-backports)
      if ! grep -rqs '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' \
          'Suites: bookworm-backports' 'Components: main' \
          'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
          "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
      fi
    fi
    echo "Installing: qemu-user ${suite[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
      "${suite[@]}" qemu-user >/dev/null
  fi
fi
