#!/usr/bin/env bash
# The COM server end to end. Cross-builds the 64-bit and the 32-bit server with mingw-w64, checks
# the 32-bit one's exports and embedded type library from the 64-bit side (this machine runs no
# 32-bit programs), then in a fresh wine prefix checks registration and its removal, drives a C++
# host and a VBScript host against marlin-sim on loopback, and exercises the wait window and the
# keep-alive timer. Ends with "N passed, M failed"; exits non-zero on any failure.
#
#   bash scripts/com_test.sh NATIVE_BUILD_DIR     (the native build holding sim/marlin-sim)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

native=${1:-}
if [ -z "$native" ] || [ ! -x "$native/sim/marlin-sim" ]; then
  echo "usage: bash scripts/com_test.sh NATIVE_BUILD_DIR (no sim/marlin-sim in '${native}')" >&2
  exit 2
fi
sim=$(cd "$native" && pwd)/sim/marlin-sim
# The simulator and the server run on clocks this many times faster than real time.
scale=20
wine_timeout=180

bash scripts/deps.sh com

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
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
  local dir=$1 toolchain=$2 tests=$3
  shift 3
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DMARLIN_BENCH=OFF -DMARLIN_TESTS="$tests" >"$work/$dir.log" 2>&1 &&
    cmake --build "$dir" -j"$(nproc)" --target "$@" >>"$work/$dir.log" 2>&1 ||
    { tail -40 "$work/$dir.log"; return 1; }
}
check "x86_64 server and test programs build" \
  build build-mingw64 mingw-w64-x86_64.cmake ON marlin_com com_host_test server_check com_parts_test
check "i686 server builds" build build-mingw32 mingw-w64-i686.cmake OFF marlin_com
[ "$failed" -eq 0 ] || finish

dll64=$root/build-mingw64/com/Telvar_Marlin.dll
dll32=$root/build-mingw32/com/Telvar_Marlin.dll
bin=$root/build-mingw64/tests/com

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

# --- A fresh wine prefix ------------------------------------------------------------------------
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >"$work/wineboot.log" 2>&1
# Top-level windows need a graphics driver; the null one draws nothing and needs no display.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w

# Runs a wine test program and adds its own "name: N passed, M failed" to the totals; a program
# that ends without that line, or exits non-zero with no failure counted, is one failure.
run_wine() {
  local what=$1
  shift
  local out=$work/out.txt
  timeout "$wine_timeout" wine "$@" >"$out" 2>&1
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
  if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then fail "$what exit status $status"; fi
}

winpath() { winepath -w "$1" 2>/dev/null; }

check "regsvr32 registers the server" timeout "$wine_timeout" wine regsvr32 /s "$(winpath "$dll64")"
run_wine "registered keys" "$bin/server_check.exe" registered "$(winpath "$dll64")"
check "regsvr32 /u unregisters it" timeout "$wine_timeout" wine regsvr32 /u /s "$(winpath "$dll64")"
run_wine "unregistered keys" "$bin/server_check.exe" unregistered
run_wine "i686 type library" "$bin/server_check.exe" typelib "$(winpath "$dll32")" win32
run_wine "x86_64 type library" "$bin/server_check.exe" typelib "$(winpath "$dll64")" win64
run_wine "wait window and keep-alive timer" "$bin/com_parts_test.exe"

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

check "regsvr32 registers the server for the hosts" \
  timeout "$wine_timeout" wine regsvr32 /s "$(winpath "$dll64")"
export MARLIN_DEVICES MARLIN_TRACE MARLIN_TIME_SCALE=$scale
MARLIN_DEVICES=$(winpath "$work/devices.toml")
MARLIN_TRACE=$(winpath "$work/trace.jsonl")

if start_sim 1 PA4400; then
  run_wine "C++ host" "$bin/com_host_test.exe" AMP1 "$sim_address"
else
  fail "marlin-sim starts for the C++ host"
fi
stop_sims
if start_sim 2 PA4400; then
  run_wine "VBScript host" cscript //nologo "$(winpath "$root/tests/com/vb_host.vbs")" AMP1
else
  fail "marlin-sim starts for the VBScript host"
fi
stop_sims
if start_sim 3 PA4520; then
  run_wine "wait window while a PA4520 switches" "$bin/com_host_test.exe" --wait-window AMP1
else
  fail "marlin-sim starts for the wait window"
fi
stop_sims

check "regsvr32 /u unregisters the server after use" \
  timeout "$wine_timeout" wine regsvr32 /u /s "$(winpath "$dll64")"
run_wine "unregistered keys after use" "$bin/server_check.exe" unregistered
wineserver -w
finish
