#!/usr/bin/env bash
# The COM server end to end, for both widths. Cross-builds the 64-bit and the 32-bit server and
# their test programs with mingw-w64 and checks the servers' exports and embedded type libraries.
# Then, in one 64-bit wine prefix where each width runs under its own loader (as on 64-bit
# Windows, where a 32-bit host loads only the 32-bit server): registration and its removal per
# width and side by side in both orders, a server built against a host's own copies of its two
# type libraries (other ids), a C++ host and a VBScript host of each width against
# marlin-sim on loopback, the wait window, the keep-alive timer and the operator message, and
# the per-width MSI installers (install, use, remove; both together, one removed). Where the
# kernel runs no 32-bit programs, the whole run moves into a namespace where qemu-i386 runs them
# (scripts/i386_namespace.sh); where neither works, those runs are counted as skipped, with why.
# Ends with the 32-bit programs' share, then "N passed, M failed[, K skipped]" for all; exits
# non-zero on any failure.
#
#   bash scripts/com_test.sh NATIVE_BUILD_DIR     (a configured native build: builds marlin-sim
#                                                  and marlinctl there)
#   MARLIN_REQUIRE_32BIT=1: a skipped 32-bit check, or none passed, is a failure
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

native=${1:-}
if [ -z "$native" ] || [ ! -f "$native/CMakeCache.txt" ]; then
  echo "usage: bash scripts/com_test.sh NATIVE_BUILD_DIR (no configured build in '${native}')" >&2
  exit 2
fi
# The simulator the hosts talk to and the marlinctl that reads their trace, built from these
# sources rather than whatever an earlier build left (once, before a move into a namespace).
if [ -z "${MARLIN_I386_NAMESPACE+set}" ]; then
  cmake --build "$native" -j"$(nproc)" --target marlin-sim marlinctl >/dev/null ||
    { echo "cannot build marlin-sim and marlinctl in $native" >&2; exit 1; }
fi
sim=$(cd "$native" && pwd)/sim/marlin-sim
# The simulator and the server run on clocks this many times faster than real time.
scale=20
wine_timeout=180

# 32-bit programs need the kernel's IA-32 emulation, which some machines switch off (execve of
# an i386 program fails with ENOEXEC). There the whole run goes into a namespace where qemu-i386
# runs them; packages are installed before, outside it. A loader that fails to start may still
# exit 0 through a shell fallback; only its answer counts.
loader32=/usr/lib/wine/wine
starts32() { [[ "$("$loader32" --version 2>/dev/null)" == wine-* ]]; }
if [ -z "${MARLIN_I386_NAMESPACE+set}" ]; then
  bash scripts/deps.sh com
  starts32 || exec bash scripts/i386_namespace.sh bash "$0" "$@"
fi

passed=0
failed=0
skipped=0
# The share of checks of 32-bit programs (wine's 32-bit loader and what it runs): a function
# that runs one sets program_width=32 for the checks it counts.
passed32=0
failed32=0
skipped32=0
is32() { [ "${program_width:-}" = 32 ]; }
pass() {
  passed=$((passed + 1))
  if is32; then passed32=$((passed32 + 1)); fi
  echo "ok   $1"
}
fail() {
  failed=$((failed + 1))
  if is32; then failed32=$((failed32 + 1)); fi
  echo "FAIL $1"
}
skip() {
  skipped=$((skipped + 1))
  if is32; then skipped32=$((skipped32 + 1)); fi
  echo "SKIP $1"
}
finish() {
  echo "32-bit programs ${how32:-not reached}: $passed32 passed, $failed32 failed," \
    "$skipped32 skipped"
  # CI knows its machines run them (natively or in the namespace): there, none may go missing.
  if [ "${MARLIN_REQUIRE_32BIT:-}" = 1 ] && { [ "$skipped32" -gt 0 ] || [ "$passed32" -eq 0 ]; }; then
    fail "every 32-bit check ran (MARLIN_REQUIRE_32BIT=1)"
  fi
  if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
  else
    echo "$passed passed, $failed failed"
  fi
  [ "$failed" -eq 0 ]
  exit $?
}
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what (exit $?)"; fi
}

work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- Cross-builds -------------------------------------------------------------------------------
build() {
  local dir=$1 toolchain=$2
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DMARLIN_BENCH=OFF -DMARLIN_TESTS=ON -DMARLIN_WINDOWS_APP=OFF >"$work/$dir.log" 2>&1 &&
    cmake --build "$dir" -j"$(nproc)" \
      --target marlin_com marlin_msi com_host_test server_check com_parts_test \
      >>"$work/$dir.log" 2>&1 ||
    { tail -40 "$work/$dir.log"; return 1; }
}
check "x86_64 server, installer and test programs build" build build-mingw64 mingw-w64-x86_64.cmake
check "i686 server, installer and test programs build" build build-mingw32 mingw-w64-i686.cmake
# A host's own copies of its two libraries, whose ids differ from ours in every uuid: a server
# built against them must answer the host's ids.
host_types=$work/host_types
mkdir -p "$host_types"
for library in Telvar_DeviceList Telvar_Amplifier; do
  sed -E 's/uuid\([0-9A-Fa-f]{8}-/uuid(0F0F0F0F-/' "com/host_types/$library.idl" \
    >"$host_types/$library.idl"
done
build_host_types() {
  cmake -S . -B build-mingw64-host-types -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DMARLIN_BENCH=OFF -DMARLIN_TESTS=ON \
    -DMARLIN_HOST_TYPES_DIR="$host_types" >"$work/host-types.log" 2>&1 &&
    cmake --build build-mingw64-host-types -j"$(nproc)" --target marlin_com server_check \
      >>"$work/host-types.log" 2>&1 ||
    { tail -40 "$work/host-types.log"; return 1; }
}
# Every id of our own copies, read from them, so that a changed id is checked as it now is.
own_ids() {
  grep -ohE 'uuid\([0-9A-Fa-f-]+\)' com/host_types/*.idl | sed -E 's/uuid\((.*)\)/\1/' | sort -u
}
ids_of_their_own() {
  [ "$(own_ids | wc -l)" -ge 3 ] && ! grep -qiF -f <(own_ids) "$host_types"/*.idl
}
check "the host's IDL copy has ids of its own" ids_of_their_own
check "x86_64 server built against the host's own IDL files" build_host_types
[ "$failed" -eq 0 ] || finish

# Each width: its loader, its server, its installer, its test programs.
declare -A loader dll msi bin
loader[64]=/usr/lib/wine/wine64
loader[32]=$loader32
dll[64]=$root/build-mingw64/com/Telvar_Marlin.dll
dll[32]=$root/build-mingw32/com/Telvar_Marlin.dll
msi[64]=$root/build-mingw64/com/Telvar_Marlin-x64.msi
msi[32]=$root/build-mingw32/com/Telvar_Marlin-x86.msi
bin[64]=$root/build-mingw64/tests/com
bin[32]=$root/build-mingw32/tests/com
dll64=${dll[64]}
dll32=${dll[32]}

exports() {
  "$1-objdump" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/\[/ && NR > 1 {print $NF}' | sort | tr '\n' ' '
}
four="DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
check "the i686 server is a 32-bit DLL" \
  bash -c "i686-w64-mingw32-objdump -f '$dll32' | grep -q 'file format pei-i386'"
check "the i686 server exports exactly the four entry points" \
  test "$(exports i686-w64-mingw32 "$dll32")" = "$four"
check "the x86_64 server exports exactly the four entry points" \
  test "$(exports x86_64-w64-mingw32 "$dll64")" = "$four"
for target in i686 x86_64; do
  dll=$dll32
  [ "$target" = x86_64 ] && dll=$dll64
  check "the $target server needs no mingw-w64 runtime DLL" \
    bash -c "! $target-w64-mingw32-objdump -p '$dll' | grep -iE 'DLL Name: (libstdc|libgcc|libwinpthread)'"
done

# --- One 64-bit wine prefix for both widths -----------------------------------------------------
# Where no 32-bit program starts, natively or under qemu-i386, every 32-bit run is counted as
# skipped, never as passed; the 32-bit installer is still installed and inspected from the 64-bit
# side.
no32="32-bit runs left out"
if starts32; then
  runs32=yes
  how32="run natively"
  if [ "${MARLIN_I386_NAMESPACE:-}" = qemu-i386 ]; then
    how32="run under qemu-i386 (binfmt_misc of a namespace of their own)"
  fi
  echo "NOTE 32-bit programs $how32"
else
  runs32=no
  how32="skipped"
  why=${MARLIN_I386_NAMESPACE:-the kernel runs them, yet the loader does not start}
  [ "$why" = qemu-i386 ] && why="not even under qemu-i386"
  no32="no 32-bit program runs here: $("$loader32" --version 2>&1 | tail -1 |
    sed -E 's/^.*: line [0-9]+: //'); $why"
  echo "NOTE 32-bit programs skipped: $no32"
fi
runs() { [ "$1" = 64 ] || [ "$runs32" = yes ]; }

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"${loader[64]}" wineboot -i >"$work/wineboot.log" 2>&1
# Top-level windows need a graphics driver; the null one draws nothing and needs no display.
"${loader[64]}" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w

# Runs a wine test program of width $2 and adds its own "name: N passed, M failed" to the
# totals; a program that ends without that line, or exits non-zero with no failure counted, is
# one failure.
run_wine() {
  local what=$1 width=$2
  local program_width=$width
  shift 2
  if ! runs "$width"; then
    skip "$what: $no32"
    return
  fi
  local out=$work/out.txt
  timeout "$wine_timeout" "${loader[$width]}" "$@" >"$out" 2>&1
  local status=$?
  sed 's/^/    /' "$out"
  local summary
  summary=$(grep -E '^[A-Za-z_]+: [0-9]+ passed, [0-9]+ failed' "$out" | tail -1)
  if [ -z "$summary" ]; then
    fail "$what ran to its end (exit $status)"
    return
  fi
  local p f
  p=$(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$summary")
  f=$(sed -E 's/.*, ([0-9]+) failed.*/\1/' <<<"$summary")
  passed=$((passed + p))
  failed=$((failed + f))
  if is32; then
    passed32=$((passed32 + p))
    failed32=$((failed32 + f))
  fi
  if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then fail "$what exit status $status"; fi
}
# server_check of width $1: registered DLL [PLATFORM] | unregistered | create | query |
#                          typelib DLL PLATFORM
checker() {
  local width=$1
  shift
  run_wine "$1 ($width-bit server_check)" "$width" "${bin[$width]}/server_check.exe" "$@"
}

winpath() { "${loader[64]}" winepath -w "$1" 2>/dev/null; }
win_dll() { winpath "${dll[$1]}"; }
regsvr32() {
  local what=$1 width=$2
  local program_width=$width
  shift 2
  if ! runs "$width"; then
    skip "$what: $no32"
    return
  fi
  check "$what" timeout "$wine_timeout" "${loader[$width]}" regsvr32 /s "$@" "$(win_dll "$width")"
}
register() { regsvr32 "regsvr32 ($1-bit) registers the $1-bit server${2:-}" "$1"; }
unregister() { regsvr32 "regsvr32 /u ($1-bit) unregisters the $1-bit server${2:-}" "$1" /u; }

for width in 64 32; do
  echo "--- $width-bit: registration, type library, windowing"
  register "$width"
  checker "$width" registered "$(win_dll "$width")"
  unregister "$width"
  checker "$width" unregistered
  checker "$width" typelib "$(win_dll "$width")" "win$width"
  run_wine "wait window, keep-alive timer, operator message ($width-bit)" "$width" \
    "${bin[$width]}/com_parts_test.exe"
done
# Built against the host's own libraries: the host's ids are registered, answered and described by
# the host's libraries, and all of it goes again on removal.
echo "--- 64-bit server built against the host's own IDL files"
dll_host_types=$root/build-mingw64-host-types/com/Telvar_Marlin.dll
check_host_types() {
  run_wine "$1 (server_check built against the host's IDL)" 64 \
    "$root/build-mingw64-host-types/tests/com/server_check.exe" "${@:2}"
}
check "regsvr32 registers the server built against the host's IDL" \
  timeout "$wine_timeout" "${loader[64]}" regsvr32 /s "$(winpath "$dll_host_types")"
check_host_types registered registered "$(winpath "$dll_host_types")"
# The ids taken from the host's copies themselves, so that a build that ignored them fails.
iid_of() {
  grep -B4 "interface $2 :" "$host_types/$1.idl" | grep -oE 'uuid\([0-9A-Fa-f-]+\)' | tail -1 |
    sed -E 's/uuid\((.*)\)/{\1}/'
}
check_host_types query query "$(iid_of Telvar_DeviceList clsDevice)" \
  "$(iid_of Telvar_Amplifier clsIAmpRemote)" "$(iid_of Telvar_Amplifier clsIAmpRemoteExt)"
check_host_types typelib typelib "$(winpath "$dll_host_types")" win64
check "regsvr32 /u unregisters the server built against the host's IDL" \
  timeout "$wine_timeout" "${loader[64]}" regsvr32 /s /u "$(winpath "$dll_host_types")"
check_host_types unregistered unregistered
checker 64 unregistered

# The 32-bit library as the 64-bit side sees it, and the reverse.
checker 64 typelib "$(win_dll 32)" win32
checker 32 typelib "$(win_dll 64)" win64

# --- Side by side: removing one width leaves the other whole, in either order -------------------
for first in 64 32; do
  second=$((96 - first))
  echo "--- side by side: $first-bit registered first, $second-bit removed first"
  if [ "$runs32" = no ]; then
    program_width=32 skip "side by side by regsvr32, $first-bit first: $no32"
    continue
  fi
  register "$first" " (side by side)"
  register "$second" " (side by side)"
  checker "$first" registered "$(win_dll "$first")"
  checker "$second" registered "$(win_dll "$second")"
  unregister "$second" " (side by side)"
  checker "$first" registered "$(win_dll "$first")"
  checker "$first" create
  unregister "$first" " (side by side)"
  checker "$first" unregistered
done

# --- Hosts against the simulator ----------------------------------------------------------------
# Starts a simulated amplifier of model $2 with power on and band path 2, and writes the device
# list naming it AMP1.
start_sim() {
  local log=$work/sim$1.log
  "$sim" --port 0 --model "$2" --power on --band 2 --time-scale "$scale" </dev/null >"$log" 2>&1 &
  sims+=($!)
  local port=""
  for _ in $(seq 100); do
    port=$(grep -oE 'listening on 127\.0\.0\.1:[0-9]+' "$log" | head -1 | sed 's/.*://')
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { cat "$log"; return 1; }
  printf '[devices.AMP1]\ninterface = 50\nlan_address = "127.0.0.1:%s"\ndescription = "%s"\n' \
    "$port" "Simulated $2" >"$work/devices.toml"
  sim_address=127.0.0.1:$port
}
# A simulator built with sanitizers reports into its log.
stop_sims() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  sims=()
  if grep -lE 'Sanitizer|runtime error:' "$work"/sim*.log >/dev/null 2>&1; then
    grep -hE -A20 'Sanitizer|runtime error:' "$work"/sim*.log
    fail "marlin-sim ran without sanitizer reports"
    rm -f "$work"/sim*.log
  fi
}

register 64 " for the hosts"
register 32 " for the hosts"
export MARLIN_DEVICES MARLIN_TRACE MARLIN_TIME_SCALE=$scale
MARLIN_DEVICES=$(winpath "$work/devices.toml")
MARLIN_TRACE=$(winpath "$work/trace.jsonl")

for width in 64 32; do
  echo "--- $width-bit hosts"
  if ! runs "$width"; then
    program_width=32 skip "C++ host, VBScript host and wait window ($width-bit): $no32"
    continue
  fi
  if start_sim 1 PA4400; then
    run_wine "C++ host ($width-bit)" "$width" "${bin[$width]}/com_host_test.exe" AMP1 "$sim_address"
  else
    fail "marlin-sim starts for the C++ host"
  fi
  stop_sims
  if start_sim 2 PA4400; then
    run_wine "VBScript host ($width-bit)" "$width" cscript //nologo \
      "$(winpath "$root/tests/com/vb_host.vbs")" AMP1
  else
    fail "marlin-sim starts for the VBScript host"
  fi
  stop_sims
  if start_sim 3 PA4520; then
    run_wine "wait window while a PA4520 switches ($width-bit)" "$width" \
      "${bin[$width]}/com_host_test.exe" --wait-window AMP1
  else
    fail "marlin-sim starts for the wait window"
  fi
  stop_sims
done

# The trace the servers wrote: every record ends with its time, and the native marlinctl draws
# it as it draws its own.
timed_trace() {
  [ -s "$1" ] && ! grep -qv '"time":"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]T[0-9:]\{8\}\.[0-9]\{6\}Z"}$' "$1"
}
check "every record of the servers' trace carries its time" timed_trace "$work/trace.jsonl"
check "the servers' trace becomes a report" \
  "$native/app/marlinctl" trace-report "$work/trace.jsonl" -o "$work/trace-report.html"
check "the report draws the hosts' SetState calls" \
  grep -q '<title>clsIAmpRemote_SetState' "$work/trace-report.html"
check "the servers' records name their device: the report draws its lane" \
  grep -q '"lane-name"[^>]*>AMP1<' "$work/trace-report.html"

unregister 64 " after use"
unregister 32 " after use"
checker 64 unregistered
unset MARLIN_DEVICES MARLIN_TRACE MARLIN_TIME_SCALE

# --- The VISA binding by ordinal ----------------------------------------------------------------
# A stand-in VISA32.DLL that exports the seven operations by ordinal only records the calls the
# binding of each width makes.
build_visa_check() {
  cmake --build "build-mingw$1" -j"$(nproc)" --target visa_ordinal_check >"$work/visa$1.log" 2>&1 ||
    { tail -40 "$work/visa$1.log"; return 1; }
}
for width in 64 32; do
  echo "--- $width-bit VISA binding by ordinal"
  check "the stand-in VISA and its check build ($width-bit)" build_visa_check "$width"
  run_wine "VISA binding by ordinal ($width-bit)" "$width" "${bin[$width]}/visa_ordinal_check.exe"
done

# --- Installers ---------------------------------------------------------------------------------
# Windows Installer on 64-bit Windows is a 64-bit service for packages of both widths; the keys
# an installer wrote are read in the view of its width.
declare -A installed
installed[64]='C:\Program Files\Marlin\Telvar_Marlin.dll'
installed[32]='C:\Program Files (x86)\Marlin\Telvar_Marlin.dll'
unix_installed() { "${loader[64]}" winepath -u "${installed[$1]}" 2>/dev/null; }
msiexec() {
  local what=$1 action=$2 width=$3
  check "msiexec $action the $width-bit installer$what" \
    timeout "$wine_timeout" "${loader[64]}" msiexec "$action" "$(winpath "${msi[$width]}")" /qn
}
installed_check() {
  checker 64 registered "${installed[$1]}" "win$1"
  checker "$1" create
}
file_gone() {
  local path
  path=$(unix_installed "$1")
  [ -n "$path" ] && [ ! -e "$path" ] && [ ! -e "$(dirname "$path")" ]
}
both_gone() { file_gone 64 && file_gone 32; }

for width in 64 32; do
  echo "--- $width-bit installer"
  msiexec "" /i "$width"
  check "the $width-bit installer puts the server under ${installed[$width]%\\*}" \
    test -f "$(unix_installed "$width")"
  installed_check "$width"
  msiexec "" /x "$width"
  checker 64 unregistered
  check "removing the $width-bit installer leaves no file or folder" file_gone "$width"
done
for removed in 64 32; do
  kept=$((96 - removed))
  echo "--- both installers, the $removed-bit one removed"
  msiexec " (both installed)" /i 64
  msiexec " (both installed)" /i 32
  msiexec " (both installed)" /x "$removed"
  installed_check "$kept"
  check "removing the $removed-bit installer keeps the $kept-bit server" \
    test -f "$(unix_installed "$kept")"
  msiexec " (the last one)" /x "$kept"
  checker 64 unregistered
  check "removing both installers leaves no file or folder" both_gone
done

# The 64-bit server's removal keeps what an installed 32-bit server needs.
echo "--- 32-bit installer, 64-bit server registered and removed beside it"
msiexec " (beside regsvr32)" /i 32
register 64 " beside the 32-bit installation"
unregister 64 " beside the 32-bit installation"
installed_check 32
msiexec " (beside regsvr32)" /x 32
checker 64 unregistered
wineserver -w
finish
