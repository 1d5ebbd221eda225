#!/usr/bin/env bash
# The panel in a real browser: headless Debian chromium driven by playwright-core (pinned by
# scripts/browser/package-lock.json, installed into build/panel-browser, not globally) against
# marlinctl panel and simulated PA4520s on loopback.
# Two runs: 64 devices (page load and update latency measured), then two devices through a
# switch, a fault, a reload, a killed simulator and a stopped panel. Screenshots and the figures
# land in build/panel-browser/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build
missing=()
command -v chromium >/dev/null || missing+=(chromium)
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

out=build/panel-browser
mkdir -p "$out"
# playwright-core exactly as scripts/browser/package-lock.json pins it; installed again whenever
# the lock changed.
if ! cmp -s scripts/browser/package-lock.json "$out/package-lock.json" ||
  [ ! -d "$out/node_modules/playwright-core" ]; then
  cp scripts/browser/package.json scripts/browser/package-lock.json "$out/"
  npm ci --silent --no-audit --no-fund --prefix "$out" >/dev/null
fi
# Always built, so that the browser never tests a marlinctl older than the sources.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j"$(nproc)" --target marlinctl marlin-sim

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Ten times faster than real time: the switch still takes long enough to be seen.
scale=10

# start_sim NAME: a simulated PA4520 whose console reads the FIFO $work/NAME.in; sets sim_port
# and sim_pid.
start_sim() {
  local name=$1 line
  mkfifo "$work/$name.out" "$work/$name.in"
  build/sim/marlin-sim --model PA4520 --power on --port 0 --time-scale "$scale" \
    --transcript "$work/$name.jsonl" <"$work/$name.in" >"$work/$name.out" 2>&1 &
  sim_pid=$!
  pids+=("$sim_pid")
  # Held open here, so the simulator's console does not end when a writer closes it.
  exec {fd}<>"$work/$name.in"
  exec {fd}<"$work/$name.out"
  sim_port=""
  while read -r -t 20 line <&"$fd"; do
    case "$line" in
      *"listening on"*) sim_port=${line##*:} ;;
      *ready*) break ;;
    esac
  done
  [ -n "$sim_port" ] || { echo "marlin-sim $name did not start" >&2; exit 1; }
}

# start_panel LIST OPTIONS...: sets panel_url and panel_pid.
start_panel() {
  local list=$1 first fifo
  shift
  fifo=$(mktemp -u "$work/panel.XXXXXX")
  mkfifo "$fifo"
  build/app/marlinctl panel --devices "$list" --port 0 --time-scale "$scale" "$@" \
    >"$fifo" 2>"$fifo.err" &
  panel_pid=$!
  pids+=("$panel_pid")
  exec {fd}<"$fifo"
  read -r -t 20 first <&"$fd" || { echo "the panel did not start" >&2; cat "$fifo.err" >&2; exit 1; }
  panel_url=${first#marlinctl panel: }
}

start_sim amp
amp_port=$sim_port amp_pid=$sim_pid
start_sim load
load_port=$sim_port

# 64 devices: AMP1, fifteen more on a second simulator that the panel polls, and 48 that are not
# switched on, one with a name longer than any card.
{
  printf '[devices.AMP1]\ninterface = 50\nlan_address = "127.0.0.1:%s"\ndescription = "Simulated PA4520, bench 3"\n' "$amp_port"
  for i in $(seq -w 2 16); do
    printf '\n[devices.LOAD%s]\ninterface = 50\nlan_address = "127.0.0.1:%s"\ndescription = "Polled"\n' "$i" "$load_port"
  done
  for i in $(seq -w 17 63); do
    printf '\n[devices.BENCH%s]\ninterface = 60\nvisa_resource = "TCPIP0::127.0.0.1::1::SOCKET"\n' "$i"
  done
  printf '\n[devices.CHAMBER_2_NORTH_WALL_AMPLIFIER_FOR_THE_80_MHZ_TO_6_GHZ_RADIATED_IMMUNITY_RIG]\ninterface = 60\nvisa_resource = "TCPIP0::127.0.0.1::1::SOCKET"\n'
} >"$work/many.toml"
start_panel "$work/many.toml" --poll 1
echo "64 devices: panel at ${panel_url%%\?*}"
node scripts/panel_browser_test.js many "$panel_url" "$work/amp.jsonl" "$out" "$out/node_modules" \
  "$scale" "$work/amp.in" "$amp_pid" "$panel_pid"
kill -TERM "$panel_pid"
wait "$panel_pid" || true

cat >"$work/two.toml" <<TOML
[devices.AMP1]
interface = 50
lan_address = "127.0.0.1:$amp_port"
description = "Simulated PA4520, bench 3"

[devices.SPARE]
interface = 60
visa_resource = "TCPIP0::127.0.0.1::1::SOCKET"
description = "Spare amplifier (not switched on)"
TOML
start_panel "$work/two.toml"
echo "two devices: panel at ${panel_url%%\?*}"
node scripts/panel_browser_test.js page "$panel_url" "$work/amp.jsonl" "$out" "$out/node_modules" \
  "$scale" "$work/amp.in" "$amp_pid" "$panel_pid"
echo "screenshots: $out/panel-*.png; figures: $out/latency.json $out/latency-64.json"
