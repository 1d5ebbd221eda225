#!/usr/bin/env bash
# Style and static checks; any finding fails.
#   bash scripts/lint.sh           clang-format leaves every C++ file as it is, and clang-tidy
#                                  finds nothing in the core, host/, app/, sim/ (native build) nor
#                                  in com/ and the Windows branches (mingw-w64 cross-build)
#   bash scripts/lint.sh --format  only the clang-format check
#   bash scripts/lint.sh --tidy    only clang-tidy
#   bash scripts/lint.sh --fix     applies clang-format to every C++ file in place
# After --format or --tidy, file paths (relative to the top folder) limit the check to them.
# clang-tidy reads the compile databases of build/ (configured as scripts/test.sh does) and
# build-mingw64/ (as scripts/com_test.sh does), so those builds reuse them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=${1:-all}
case "$mode" in
  all | --format | --tidy | --fix) ;;
  *) echo "usage: lint.sh [--format | --tidy | --fix] [FILE...]" >&2; exit 2 ;;
esac
[ $# -gt 0 ] && shift
only=("$@")
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

bash scripts/deps.sh lint

cxx_files() {
  if [ ${#only[@]} -gt 0 ]; then
    printf '%s\n' "${only[@]}"
  elif git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -- '*.cpp' '*.h'
  else
    find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||'
  fi
}

if [ "$mode" = --fix ]; then
  cxx_files | xargs -P"$jobs" -n16 clang-format -i --style=file
  exit 0
fi

failed=0
if [ "$mode" != --tidy ]; then
  echo "--- clang-format"
  if ! cxx_files | xargs -P"$jobs" -n16 clang-format --dry-run --Werror --style=file; then
    echo "FAIL clang-format: run 'bash scripts/lint.sh --fix' to apply it"
    failed=1
  fi
fi
[ "$mode" = --format ] && exit "$failed"

# The source files a compile database holds, one per line, limited to the folders given (and to
# the files named on the command line).
database_files() {
  local database=$1 folders=$2
  sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$database" |
    grep -E "^$root/($folders)/([^/]+/)?[^/]+\.cpp$" | sort -u |
    if [ ${#only[@]} -gt 0 ]; then grep -Fx -f <(printf "$root/%s\n" "${only[@]}") || true; else cat; fi
}

# Runs clang-tidy over the files on stdin; its own output, without the per-file counts.
tidy() {
  local build=$1
  shift
  xargs -r -P"$jobs" -n1 clang-tidy -p "$build" --quiet \
    --header-filter="^$root/(driver|io|control|ui|platform|clock|text|host|sim|app|python|com)/" "$@" 2>&1 |
    sed -E '/^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$/d'
}

core='driver|io|control|ui|platform|clock|text|host|app|sim|python'
echo "--- clang-tidy: native build"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
configure() { cmake "$@" >"$log" 2>&1 || { cat "$log"; exit 1; }; }
configure -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
native=$(database_files build/compile_commands.json "$core")
if ! tidy build <<<"$native"; then failed=1; fi

echo "--- clang-tidy: mingw-w64 cross-build (com/ and the Windows branches)"
triplet=x86_64-w64-mingw32
configure -S . -B build-mingw64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DMARLIN_BENCH=OFF -DMARLIN_TESTS=ON
# The headers widl writes from the IDL files.
cmake --build build-mingw64 -j"$jobs" --target marlin_com_ids >/dev/null
windows=$(database_files build-mingw64/compile_commands.json "com|$core" |
  while read -r file; do
    if [[ "$file" == "$root/com/"* || "$file" == *_win.cpp ]] || grep -q '_WIN32' "$file"; then echo "$file"; fi
  done)
# clang finds the mingw-w64 C headers by itself, but not the C++ library of its gcc.
cross_args=(--extra-arg=--target=$triplet)
for dir in $(echo | "$triplet-g++-posix" -xc++ -E -v - 2>&1 |
  sed -n '/#include <...> search/,/End of search/p' | grep '/c++'); do
  cross_args+=("--extra-arg=-isystem$dir")
done
if ! tidy build-mingw64 "${cross_args[@]}" <<<"$windows"; then failed=1; fi

# Every source file of the linted folders was checked by one of the two passes.
if [ ${#only[@]} -eq 0 ]; then
  missing=$(comm -23 <(cxx_files | grep -E "^($core|com)/([^/]+/)?[^/]+\.cpp$" | sed "s|^|$root/|" | sort) \
    <(printf '%s\n%s\n' "$native" "$windows" | sort -u))
else
  missing=""
fi
if [ -n "$missing" ]; then
  echo "FAIL clang-tidy checked no build of:"
  echo "$missing"
  failed=1
fi
echo "clang-tidy: $(grep -c . <<<"$native") files natively, $(grep -c . <<<"$windows") cross-built"
exit "$failed"
