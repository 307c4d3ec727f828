#!/usr/bin/env bash
# End-to-end test of the bridge as a local COM server under Wine, in a prefix
# of its own: registration, activation by a VBScript client without an
# application, the log, the end of the server after the last release, and
# unregistration.
# Usage: server_test.sh BRIDGE.exe TEST_SOURCE_DIR
set -uo pipefail
exe=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/stava-server.XXXXXX)
trap end_test EXIT
client_dir=$work
source "$root/tests/bridge/wine_harness.sh"

drive_c=$WINEPREFIX/drive_c
# Keys are looked up in the registry view that the bridge writes (the
# 32-bit one for the i686 bridge on 64-bit Windows), except the ProgIDs:
# they lie in the part of HKCR that both views share, where a 64-bit client
# looks. A key counts as removed only when neither view has it.
shared_reg() { w reg "$@"; }
lacks_key() { ! has_key "$1" && ! shared_reg query "$1" >/dev/null 2>&1; }
value_of() { # reg command, key, value name ('' = default): its data
  local out data rc=0 args=(query "$2" /ve)
  [ -z "$3" ] || args=(query "$2" /v "$3")
  out=$("$1" "${args[@]}" 2>"$work/reg.out") || rc=$?
  data=$(sed -n 's/^    .*    REG_SZ    //p' <<<"${out//$'\r'/}")
  [ -n "$data" ] || note_failed_read "$1 ${args[*]}" "$rc" "$out" "$work/reg.out"
  printf '%s\n' "$data"
}
value_in() { # reg command, key, value name, expected beginning of the data
  local data
  data=$(value_of "$1" "$2" "$3") && [ -n "$data" ] && [[ $data == "$4"* ]] && return 0
  echo "$2 ${3:-(default)}: expected data that begins with '$4', read '$data'"
  return 1
}
has_value() { value_in reg "$@"; }
has_shared_value() { value_in shared_reg "$@"; }
# The whole data of a value.
has_exact_value() { same "$3" "$(value_of reg "$@")"; }
# The log as the bridge finds it at C:\bridge-test.log (log_is).
log=$drive_c/bridge-test.log

appid='{356386B1-0AC2-11D2-B13D-0000C0BAD3E5}'
libid='{356386B0-0AC2-11D2-B13D-0000C0BAD3E5}'
iid='{356386BD-0AC2-11D2-B13D-0000C0BAD3E5}'
winexe=$(w winepath -w "$exe" 2>/dev/null | tr -d '\r')
reg add "$bridge_key" /v logFile /d 'C:\bridge-test.log' /f >/dev/null
reg add "$bridge_key" /v refFile /d 'C:\missing\stv.ref' /f >/dev/null
missing_ref="ref-file 'C:\\missing\\stv.ref' not opened"

# Registration.
w "$exe" /RegServer; rc=$?
check "RegServer exits with 0" test "$rc" -eq 0
# A registration run rewrites the log but never reads the reference file.
check "RegServer still writes the log" log_is "bridge startup" "bridge shutdown"
check "ProgID" has_shared_value 'HKCR\StavaAutomationBridge.Model.1\CLSID' '' "$clsid"
check "version-independent ProgID" has_shared_value 'HKCR\StavaAutomationBridge.Model\CurVer' '' 'StavaAutomationBridge.Model.1'
check "version-independent ProgID has CLSID" has_shared_value 'HKCR\StavaAutomationBridge.Model\CLSID' '' "$clsid"
check "class key" has_value "HKCR\\CLSID\\$clsid" '' 'Model Class'
check "class AppID value" has_value "HKCR\\CLSID\\$clsid" AppID "$appid"
check "LocalServer32 is the executable in quotes" has_exact_value "HKCR\\CLSID\\$clsid\\LocalServer32" '' "\"$winexe\""
check "Programmable" has_key "HKCR\\CLSID\\$clsid\\Programmable"
check "AppID" has_value "HKCR\\AppID\\$appid" '' 'StavaAutomationBridge'
check "AppID of the executable" has_value 'HKCR\AppID\StavaAutomationBridge.EXE' AppID "$appid"
check "type library" has_value "HKCR\\TypeLib\\$libid\\1.0" '' 'StavaAutomationBridge 1.0 Typbibliothek'
check "interface marshalled by the type library" has_key "HKCR\\Interface\\$iid\\TypeLib"

# An automation client without an application: two objects, calls by name.
cat > "$work/client.vbs" <<'VBS'
On Error Resume Next
Set m = CreateObject("StavaAutomationBridge.Model")
If Err.Number <> 0 Then WScript.Echo "create failed " & Hex(Err.Number) & " " & Err.Description
Set m2 = CreateObject("StavaAutomationBridge.Model.1")
If Err.Number <> 0 Then WScript.Echo "create .1 failed " & Hex(Err.Number) & " " & Err.Description
WScript.Echo "isValid=" & m.isValid
WScript.Echo "addNode=" & m.addNode(1.5, -2.0)
WScript.Echo "addEBBeam=" & m2.addEBBeam(1, 2)
m2.setConstraints 1, True, False, 2
m2.setNodeLabel 1, "abc"
m.setEBBeamHinges 1, 0, 1, 0, 1, 0, 1
m.setEBBeamSectionalVals 1, 2.5, 3.5
m.lock
m.unlock
m.resetApp
If Err.Number <> 0 Then WScript.Echo "call failed " & Hex(Err.Number)
Set m = Nothing
Set m2 = Nothing
WScript.Echo "DONE"
VBS
: > "$log"
out=$(client client.vbs)
check "client ran to its end" grep -qx DONE <<<"$out"
check "isValid is 0 without an application" grep -qx 'isValid=0' <<<"$out"
check "addNode gives 0 without an application" grep -qx 'addNode=0' <<<"$out"
check "addEBBeam on a second object gives 0" grep -qx 'addEBBeam=0' <<<"$out"
check "no call failed" bash -c '! grep -q failed <<<"$1"' _ "$out"
check "server ends after the last release" prefix_idle
check "serving run's log" log_is "bridge startup" "$missing_ref" "bridge shutdown"
# Ending while COM still sends the reply to the last release is a race: give
# it more chances to show.
for round in 2 3 4; do
  out=$(client client.vbs)
  check "serving run $round: client ran to its end" grep -qx DONE <<<"$out"
  check "serving run $round: server ends after the last release" prefix_idle ||
    "$wineserver" -k >/dev/null 2>&1
done

# A reference that cannot be turned into a controller is logged; the
# server still comes up and answers isValid = 0.
printf '\r\n   IOR:0123 second\r\nIOR:4567\r\n' > "$drive_c/stv-test.ref"
check "unusable reference: the bridge's setting is written" \
  reg add "$bridge_key" /v refFile /d 'C:\stv-test.ref' /f >/dev/null
cat > "$work/valid.vbs" <<'VBS'
Set m = CreateObject("StavaAutomationBridge.Model")
WScript.Echo "isValid=" & m.isValid
Set m = Nothing
WScript.Echo "DONE"
VBS
out=$(client valid.vbs)
check "unusable reference: client ran" grep -qx DONE <<<"$out"
check "unusable reference: isValid is 0" grep -qx 'isValid=0' <<<"$out"
check "unusable reference: server ends" prefix_idle
text=$(tr -d '\r' < "$log")
check "log names the first word of the reference file" \
  test "$(sed -n 2p <<<"$text")" == "stv is 'IOR:0123'"
check "log says the reference was not converted" grep -q "^reference not converted: " <<<"$text"
check "log ends with shutdown" test "$(tail -n 1 <<<"$text")" == "bridge shutdown"
reg add "$bridge_key" /v refFile /d 'C:\missing\stv.ref' /f >/dev/null

# Unregistration removes the keys except the shared roots; the type library stays.
w "$exe" /UnregServer; rc=$?
check "UnregServer exits with 0" test "$rc" -eq 0
check "ProgID removed" lacks_key 'HKCR\StavaAutomationBridge.Model.1'
check "version-independent ProgID removed" lacks_key 'HKCR\StavaAutomationBridge.Model'
check "class key removed" lacks_key "HKCR\\CLSID\\$clsid"
check "AppID removed" lacks_key "HKCR\\AppID\\$appid"
check "AppID of the executable removed" lacks_key 'HKCR\AppID\StavaAutomationBridge.EXE'
check "CLSID root kept" has_key 'HKCR\CLSID'
check "AppID root kept" has_key 'HKCR\AppID'
check "type library left registered" has_key "HKCR\\TypeLib\\$libid\\1.0"

# A switch followed by another word is no switch: the bridge serves (and is
# stopped by the time limit) and registers nothing.
timeout 8 "$wine" "$exe" -RegServer extra; rc=$?
check "'-RegServer extra' serves until stopped" test "$rc" -eq 124
check "'-RegServer extra' registers nothing" lacks_key "HKCR\\CLSID\\$clsid"
prefix_idle >/dev/null 2>&1 || "$wineserver" -k >/dev/null 2>&1

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
