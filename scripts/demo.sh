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
# Runs a step quietly; when it fails, shows its output and exit status and
# what the demo has seen so far (explain).
quiet() {
  local rc=0
  "$@" > "$work/step.log" 2>&1 || rc=$?
  [ "$rc" -eq 0 ] && return 0
  cat "$work/step.log"
  echo "demo: failed with exit status $rc: $*"
  explain
  exit 1
}
# Prints a file of the demo's, or says that it is missing or empty.
show() { # title, path
  if [ -s "$2" ]; then
    echo "$1:"; tr -d '\r' <"$2" | cat -v | sed 's/^/  /'
  else
    echo "$1: ${2##*/} is missing or empty"
  fi
}
# After a failure: the client's error output, the bridge's log, the
# application's call log and error output, and the Wine processes left.
explain() {
  show "the client's error output" "$work/frame.err"
  show "the bridge's log" "$work/bridge.log"
  show "the application's call log" "$work/calls.txt"
  show "the application's error output" "$work/standin.err"
  echo "Wine processes of the demo's prefix:"
  grep -ls "WINEPREFIX=$work/wine/prefix" /proc/[0-9]*/environ 2>/dev/null |
    while read -r file; do
      pid=${file#/proc/}; pid=${pid%/environ}
      echo "  $pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
    done
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
  --max-seconds 300 2>"$work/standin.err" &
standin_pid=$!
for _ in $(seq 100); do [ -s "$work/stv.ref" ] && break; sleep 0.2; done
[ -s "$work/stv.ref" ] || { echo "demo: the stand-in wrote no reference"; explain; exit 1; }
echo "its reference, in $work/stv.ref: $(cut -c1-44 "$work/stv.ref")..."

heading "Running scripts/demo/frame.vbs with the 64-bit cscript (Wine)"
rc=0
out=$(timeout 120 "$wine" cscript //nologo "$(winpath "$root/scripts/demo/frame.vbs")" \
        2>"$work/frame.err") || rc=$?
out=${out//$'\r'/}
echo "$out"
# Wine's cscript exits with 0 even when a script fails: look for its last line.
grep -qx "frame built" <<<"$out" ||
  { echo "demo: the script did not run to its end (exit status $rc)"; explain; exit 1; }
# The bridge ends after the script released its object.
timeout 30 "$wineserver" -w ||
  { echo "demo: the bridge did not end within 30 s of the script's release"; explain; exit 1; }

heading "What the application received (the stand-in's call log)"
cat "$work/calls.txt"
echo "(the last unlock is the bridge's own, sent as it shut down)"

heading "The bridge's log"
tr -d '\r' < "$work/bridge.log" | sed 's/\(IOR:[0-9a-f]\{40\}\)[0-9a-f]*/\1.../'

heading "Cleaning up: stand-in stopped, Wine prefix removed"
