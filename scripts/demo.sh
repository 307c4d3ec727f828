#!/usr/bin/env bash
# The demo: installs what is needed, builds the application stand-in
# (native) and the bridge (the 32-bit release build), starts the stand-in on
# loopback, registers the bridge in a fresh 64-bit Wine prefix, runs a
# VBScript client in the 64-bit script host that builds a small plane frame,
# as on 64-bit Windows, and shows what the application received.
# Everything it starts is stopped at the end, also after a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/wine-lane.sh
heading() { printf '\n== %s\n' "$1"; }

work=$(mktemp -d /tmp/stava-demo.XXXXXX)
standin_pid=
cleanup() {
  [ -z "$standin_pid" ] || kill "$standin_pid" 2>/dev/null || true
  WINEPREFIX=$work/wine/prefix "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# Runs a step quietly; shows its output only when it fails.
quiet() {
  "$@" > "$work/step.log" 2>&1 || { cat "$work/step.log"; echo "demo: failed: $*"; exit 1; }
}

heading "Installing the Debian packages that are missing (scripts/install-deps.sh)"
bash scripts/install-deps.sh
echo "done"

heading "Building the application stand-in (build/native) and the bridge (build/win32); minutes the first time"
jobs=$(nproc)
# The same presets as scripts/test.sh, so that the two share the build trees.
quiet cmake --preset native
quiet cmake --build --preset native -j "$jobs" --target stava-standin
quiet cmake --preset win32
quiet cmake --build --preset win32 -j "$jobs" --target StavaAutomationBridge
bridge=$root/build/win32/bridge/StavaAutomationBridge.exe
echo "build/native/standin/stava-standin"
echo "build/win32/bridge/StavaAutomationBridge.exe (i686)"

heading "Registering the bridge in a fresh 64-bit Wine prefix (StavaAutomationBridge.exe /RegServer)"
mkdir "$work/wine"
wine_lane wow64
export WINEPREFIX=$work/wine/prefix
quiet bash scripts/wine-prefix.sh "$work/wine"
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
# Where the bridge finds the application's reference and writes its log: in
# the 32-bit registry view, which the 32-bit bridge reads (reg add /reg:32).
quiet lane_reg add 'HKLM\SOFTWARE\StavaAutomationBridge' /v refFile \
  /d "$(winpath "$work/stv.ref")" /f
quiet lane_reg add 'HKLM\SOFTWARE\StavaAutomationBridge' /v logFile \
  /d "$(winpath "$work/bridge.log")" /f
quiet timeout 60 "$wine" "$bridge" /RegServer
echo "ProgID StavaAutomationBridge.Model -> $(winpath "$bridge")"

heading "Starting the application stand-in on 127.0.0.1"
"$root/build/native/standin/stava-standin" --ref "$work/stv.ref" --calls "$work/calls.txt" \
  --max-seconds 300 &
standin_pid=$!
for _ in $(seq 100); do [ -s "$work/stv.ref" ] && break; sleep 0.2; done
[ -s "$work/stv.ref" ] || { echo "demo: the stand-in wrote no reference"; exit 1; }
echo "its reference, in $work/stv.ref: $(cut -c1-44 "$work/stv.ref")..."

heading "Running scripts/demo/frame.vbs with the 64-bit cscript (Wine)"
out=$(timeout 120 "$wine" cscript //nologo "$(winpath "$root/scripts/demo/frame.vbs")" 2>/dev/null | tr -d '\r')
echo "$out"
# Wine's cscript exits with 0 even when a script fails: look for its last line.
grep -qx "frame built" <<<"$out" || { echo "demo: the script did not run to its end"; exit 1; }
# The bridge ends after the script released its object.
timeout 30 "$wineserver" -w

heading "What the application received (the stand-in's call log)"
cat "$work/calls.txt"
echo "(the last unlock is the bridge's own, sent as it shut down)"

heading "The bridge's log"
tr -d '\r' < "$work/bridge.log" | sed 's/\(IOR:[0-9a-f]\{40\}\)[0-9a-f]*/\1.../'

heading "Cleaning up: stand-in stopped, Wine prefix removed"
