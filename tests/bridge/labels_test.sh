#!/usr/bin/env bash
# Labels under Wine with the ANSI code pages of Western (1252), Cyrillic
# (1251) and Japanese (932) Windows, which Wine takes from LANG: in each,
# a label arrives at the application stand-in in ISO-8859-1, the code set
# that the application's ORB reads, and a character that ISO-8859-1 lacks
# arrives as its plain equivalent or as "?".
# Usage: labels_test.sh BRIDGE.exe STAVA-STANDIN
set -uo pipefail
exe=$1
standin=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/stava-labels.XXXXXX)
trap end_test EXIT
client_dir=$work
source "$root/tests/bridge/wine_harness.sh"

ref=$work/stv.ref
log=$work/bridge.log
require "bridge settings written" bridge_settings "$ref" "$log"
require "RegServer" w "$exe" /RegServer

# JScript, not VBScript: its escapes name the characters whatever the code
# page of the script host (VBScript's Chr goes through it).
cat > "$work/labels.js" <<'JS'
var m = new ActiveXObject("StavaAutomationBridge.Model");
var n = m.addNode(0, 0);
var b = m.addEBBeam(n, m.addNode(1, 0));
m.setBeamLabel(b, "Tr\u00e4ger");
m.setNodeLabel(n, "\u20ac 1\u20132 \u201cx\u201d \u0416\u65e5");
m = null;
WScript.Echo("DONE");
JS
# The stand-in writes octets above 0x7e as \xNN.
expected=('setBeamLabel 1 "Tr\xe4ger"' 'setNodeLabel 1 "? 1-2 \"x\" ??"')

for locale in C ru_RU.UTF-8 ja_JP.UTF-8; do
  # Every Wine process of the round, COM's too, starts with its locale.
  "$wineserver" -k >/dev/null 2>&1
  require "$locale: stand-in publishes a reference" start_standin "calls-$locale" --giop 1.0
  out=$(export LANG=$locale LC_ALL=$locale; client labels.js)
  check "$locale: client ran to its end" same DONE "$out"
  check "$locale: the bridge ends after the last release" prefix_idle
  check "$locale: labels arrive in ISO-8859-1" \
    same "$(printf '%s\n' "${expected[@]}")" "$(grep 'Label ' "$calls")"
  stop_standin
done
show_errors standin

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
