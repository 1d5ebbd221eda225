#!/usr/bin/env bash
# marlinctl.exe and marlin-sim.exe, cross-built with mingw-w64 (64-bit), under wine64: the demo on
# the LAN, VISA and GPIB routes; a shell session against marlin-sim.exe on the three routes that
# must print the result lines the Linux marlinctl prints for the same input against the Linux
# marlin-sim; trace-report writing the report the Linux build writes from the same trace; the
# panel answering its API and serving its page to the Linux-side headless Chromium; the x64 MSI
# putting both programs beside the server and on PATH, and leaving nothing on removal.
# Ends with "N passed, M failed"; exits non-zero on any failure.
#
#   bash scripts/windows_app_test.sh NATIVE_BUILD_DIR   (holding app/marlinctl and sim/marlin-sim)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
native=${1:-}
if [ -z "$native" ] || [ ! -x "$native/app/marlinctl" ] || [ ! -x "$native/sim/marlin-sim" ]; then
  echo "usage: bash scripts/windows_app_test.sh NATIVE_BUILD_DIR (with app/marlinctl and" \
    "sim/marlin-sim)" >&2
  exit 2
fi
native=$(cd "$native" && pwd)
bash scripts/deps.sh com
wine64=/usr/lib/wine/wine64
wine_timeout=180
scale=50

passed=0
failed=0
pass() {
  passed=$((passed + 1))
  echo "ok   $1"
}
fail() {
  failed=$((failed + 1))
  echo "FAIL $1"
}
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what (exit $?)"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- Cross-build --------------------------------------------------------------------------------
# The COM stage's x64 build, configured as it is but for the programs, so the core is compiled once.
dir=build-mingw64
build() {
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DMARLIN_BENCH=OFF -DMARLIN_TESTS=ON -DMARLIN_WINDOWS_APP=ON \
    >"$work/build.log" 2>&1 &&
    cmake --build "$dir" -j"$(nproc)" --target marlinctl marlin-sim marlin_msi \
      >>"$work/build.log" 2>&1 ||
    { tail -40 "$work/build.log"; return 1; }
}
check "marlinctl.exe, marlin-sim.exe and the x64 installer build" build
[ "$failed" -eq 0 ] || finish
ctl=$root/$dir/app/marlinctl.exe
sim=$root/$dir/sim/marlin-sim.exe
for program in "$ctl" "$sim"; do
  check "$(basename "$program") needs no mingw-w64 runtime DLL" \
    bash -c "! x86_64-w64-mingw32-objdump -p '$program' | grep -iE 'DLL Name: (libstdc|libgcc|libwinpthread)'"
done

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine64" wineboot -i >"$work/wineboot.log" 2>&1
wineserver -w
winpath() { "$wine64" winepath -w "$1" 2>/dev/null; }
# Wine hands a console program's output through with CR LF line ends.
run_wine() { timeout "$wine_timeout" "$wine64" "$@" | tr -d '\r'; }

check "marlinctl.exe --help prints the usage" \
  bash -c "timeout $wine_timeout $wine64 '$ctl' --help | grep -q '^Usage: marlinctl COMMAND'"

# --- The demo on each route ---------------------------------------------------------------------
for route in lan visa gpib; do
  # At the default time scale: the built-in VISA layer's timeouts shrink with it, and wine is slow
  # to start.
  run_wine "$ctl" demo --route "$route" >"$work/demo-$route.txt" 2>&1
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] && grep -qE '^All ([0-9]+) of \1 steps succeeded' "$work/demo-$route.txt"; then
    pass "marlinctl.exe demo --route $route: every step succeeded"
  else
    sed 's/^/    /' "$work/demo-$route.txt" | tail -20
    fail "marlinctl.exe demo --route $route: every step succeeded (exit $status)"
  fi
done

# --- A shell session against marlin-sim on the three routes, on both systems --------------------
# start_sim LOG PROGRAM...: a simulator with a SCPI port and a GPIB gateway; sets sim_port and
# gateway_port from what it prints.
start_sim() {
  local log=$1
  shift
  "$@" --port 0 --gateway-port 0 --time-scale "$scale" </dev/null >"$log" 2>&1 &
  pids+=($!)
  sim_port=""
  gateway_port=""
  for _ in $(seq 300); do
    sim_port=$(tr -d '\r' <"$log" | grep -oE 'serial [0-9]+ listening on 127\.0\.0\.1:[0-9]+' |
      head -1 | sed 's/.*://')
    gateway_port=$(tr -d '\r' <"$log" | grep -oE 'GPIB gateway listening on 127\.0\.0\.1:[0-9]+' |
      head -1 | sed 's/.*://')
    [ -n "$sim_port" ] && [ -n "$gateway_port" ] && return 0
    sleep 0.1
  done
  cat "$log"
  return 1
}
# device_list FILE: the three routes to the simulator just started.
device_list() {
  cat >"$1" <<EOF
[gpib]
board0 = "prologix://127.0.0.1:$gateway_port"

[devices.LAN]
interface = 50
lan_address = "127.0.0.1:$sim_port"

[devices.VISA]
interface = 60
visa_resource = "TCPIP0::127.0.0.1::$sim_port::SOCKET"

[devices.GPIB]
interface = 10
address = 1
EOF
}
# The same lines for each device: name it, connect, identify, power on, Operate on band path 2,
# read back, Standby, Off, disconnect.
session=$work/session.txt
for device in LAN VISA GPIB; do
  printf '%s\n' "name $device" "status 1" check "get devicetype" "get info" "setstate 1" \
    "amplparams bandpath=2 outputmode=0 operatingclass=1" "setstate 3" getstate checkforerror \
    "setstate 2" "setstate 0" getstate "status 0" >>"$session"
done
echo quit >>"$session"
shell_session() {
  local system=$1 devices=$2
  shift 2
  # The simulators' ports differ; nothing else may.
  "$@" shell --devices "$devices" --time-scale "$scale" <"$session" 2>&1 | tr -d '\r' |
    sed -E 's/127\.0\.0\.1(:|::)[0-9]+/127.0.0.1\1PORT/g' >"$work/shell-$system.txt"
}
linux_list=$work/linux-devices.toml
windows_list=$work/windows-devices.toml
if start_sim "$work/sim-linux.log" "$native/sim/marlin-sim" --model PA4400; then
  device_list "$linux_list"
  shell_session linux "$linux_list" "$native/app/marlinctl"
else
  fail "marlin-sim starts on Linux"
fi
if start_sim "$work/sim-windows.log" "$wine64" "$sim" --model PA4400; then
  pass "marlin-sim.exe listens on SCPI and GPIB gateway ports"
  device_list "$windows_list"
  shell_session windows "$(winpath "$windows_list")" timeout "$wine_timeout" "$wine64" "$ctl"
else
  fail "marlin-sim.exe listens on SCPI and GPIB gateway ports"
fi
same_session() {
  [ -s "$work/shell-linux.txt" ] && ! grep -qiE 'error|fail' "$work/shell-linux.txt" &&
    diff -u "$work/shell-linux.txt" "$work/shell-windows.txt"
}
check "a shell session on LAN, VISA and GPIB prints the same result lines as on Linux" same_session

# --- trace-report -------------------------------------------------------------------------------
trace=$root/tests/app/data/session-trace.jsonl
[ -f "$trace" ] || { run_wine "$ctl" demo --route lan --time-scale "$scale" \
  --trace "$(winpath "$work/trace.jsonl")" >/dev/null 2>&1; trace=$work/trace.jsonl; }
"$native/app/marlinctl" trace-report "$trace" -o "$work/report-linux.html" >/dev/null 2>&1
run_wine "$ctl" trace-report "$(winpath "$trace")" -o "$(winpath "$work/report-windows.html")" \
  >/dev/null 2>&1
check "trace-report writes the same report as on Linux" \
  cmp "$work/report-linux.html" "$work/report-windows.html"

# --- The panel ----------------------------------------------------------------------------------
panel_log=$work/panel.log
"$wine64" "$ctl" panel --devices "$(winpath "$windows_list")" --port 0 --time-scale "$scale" \
  >"$panel_log" 2>&1 &
panel_pid=$!
pids+=("$panel_pid")
panel_url=""
for _ in $(seq 300); do
  panel_url=$(tr -d '\r' <"$panel_log" | grep -oE 'http://127\.0\.0\.1:[0-9]+/\?token=[0-9a-f]+' | head -1)
  [ -n "$panel_url" ] && break
  sleep 0.1
done
if [ -n "$panel_url" ]; then
  pass "marlinctl.exe panel prints its loopback URL"
  base=${panel_url%%/\?*}
  token=${panel_url##*token=}
  devices_answer() {
    curl -sf -H "x-marlin-token: $token" "$base/api/devices" >"$work/devices.json" &&
      grep -q '"LAN"' "$work/devices.json" && grep -q '"GPIB"' "$work/devices.json"
  }
  check "the panel on Windows answers its API" devices_answer
  refuses_without_token() {
    [ "$(curl -s -o /dev/null -w '%{http_code}' "$base/api/devices")" = 401 ]
  }
  check "the panel on Windows refuses the API without its token" refuses_without_token
  if command -v chromium >/dev/null && [ -d build/panel-browser/node_modules/playwright-core ]; then
    check "headless Chromium loads the Windows panel's page" \
      node scripts/windows_panel_page.js "$panel_url" "$root/build/panel-browser/node_modules"
  else
    fail "headless Chromium loads the Windows panel's page (no chromium or playwright-core:" \
      "run scripts/panel_browser_test.sh first)"
  fi
else
  sed 's/^/    /' "$panel_log"
  fail "marlinctl.exe panel prints its loopback URL"
fi
# wineserver -w below waits for every Windows program: the panel and the simulators end here.
for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
pids=()
wineserver -w

# --- The installer ------------------------------------------------------------------------------
msi=$root/$dir/com/Telvar_Marlin-x64.msi
folder='C:\Program Files\Marlin'
unix_folder=$("$wine64" winepath -u "$folder" 2>/dev/null)
check "msiexec /i installs the x64 installer" \
  timeout "$wine_timeout" "$wine64" msiexec /i "$(winpath "$msi")" /qn
wineserver -w
for program in marlinctl.exe marlin-sim.exe Telvar_Marlin.dll; do
  check "the installer puts $program under $folder" test -f "$unix_folder/$program"
done
# A new process started through cmd takes PATH from the registry as a new login would.
from_path() {
  timeout "$wine_timeout" "$wine64" cmd /c "marlinctl.exe --help" 2>&1 | tr -d '\r' |
    grep -q '^Usage: marlinctl COMMAND'
}
check "marlinctl.exe --help runs from PATH" from_path
# The Programs menu of all users or of this one, whichever the installer took.
start_menu() { find "$WINEPREFIX/drive_c" -ipath '*/Start Menu/Programs/Marlin panel.lnk' | grep -q .; }
check "the installer adds the Start menu entry \"Marlin panel\"" start_menu
check "msiexec /x removes the x64 installer" \
  timeout "$wine_timeout" "$wine64" msiexec /x "$(winpath "$msi")" /qn
wineserver -w
check "removal leaves no file or folder under $folder" test ! -e "$unix_folder"
no_start_menu() { ! start_menu; }
check "removal leaves no Start menu entry" no_start_menu
path_clean() {
  ! "$wine64" reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' \
    /v PATH 2>/dev/null | tr -d '\r' | grep -qi 'Program Files\\Marlin'
}
check "removal takes the folder off PATH" path_clean
wineserver -w
finish
