#!/usr/bin/env bash
# The panel in a real browser: headless Debian chromium driven by playwright-core (installed into
# build/panel-browser, not globally) against marlinctl panel and a simulated PA4520 on loopback.
# Screenshots and the measured latency land in build/panel-browser/.
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
if [ ! -d "$out/node_modules/playwright-core" ]; then
  npm install --silent --no-audit --no-fund --prefix "$out" playwright-core >/dev/null
fi
if [ ! -x build/app/marlinctl ] || [ ! -x build/sim/marlin-sim ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$(nproc)" --target marlinctl marlin-sim
fi

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
mkfifo "$work/sim.out" "$work/panel.out"
build/sim/marlin-sim --model PA4520 --power on --port 0 --time-scale "$scale" \
  --transcript "$work/transcript.jsonl" >"$work/sim.out" 2>&1 &
pids+=($!)
exec 3<"$work/sim.out"
port=""
while read -r -t 20 line <&3; do
  case "$line" in
    *"listening on"*) port=${line##*:} ;;
    *ready*) break ;;
  esac
done
[ -n "$port" ] || { echo "marlin-sim did not start" >&2; exit 1; }
cat >"$work/devices.toml" <<TOML
[devices.AMP1]
interface = 50
lan_address = "127.0.0.1:$port"
description = "Simulated PA4520, bench 3"

[devices.SPARE]
interface = 60
visa_resource = "TCPIP0::127.0.0.1::1::SOCKET"
description = "Spare amplifier (not switched on)"
TOML

build/app/marlinctl panel --devices "$work/devices.toml" --port 0 --time-scale "$scale" \
  >"$work/panel.out" 2>"$work/panel.err" &
pids+=($!)
exec 4<"$work/panel.out"
read -r -t 20 first <&4 || { echo "the panel did not start" >&2; cat "$work/panel.err" >&2; exit 1; }
url=${first#marlinctl panel: }
echo "panel at ${url%%\?*}"

node scripts/panel_browser_test.js "$url" "$work/transcript.jsonl" "$out" "$out/node_modules" "$scale"
echo "screenshots: $out/panel-switching.png $out/panel-operate.png"
