#!/usr/bin/env bash
# End-to-end test of the whole chain under Wine: VBScript clients run by
# cscript, the bridge as a local COM server in a prefix of its own, our ORB,
# and the native application stand-in on loopback, whose call log shows what
# arrived. Covers all fifteen methods with edge values against an IIOP 1.2
# and an IIOP 1.0 reference, two clients of one server, an error raised by
# the application, a stopped application, its restart on the same port, and
# a reference file that PowerShell 5 wrote (UTF-16 with a byte-order mark).
# Usage: e2e_test.sh BRIDGE.exe STAVA-STANDIN
set -uo pipefail
exe=$1
standin=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
command -v catior >/dev/null || { echo "FAIL: catior (Debian package omniorb) is missing"; exit 1; }

# Wine's ANSI code page follows the locale; "C" gives 1252, which the
# expected labels below are written in.
export LC_ALL=C
work=$(mktemp -d /tmp/stava-e2e.XXXXXX)
holder_pid=
cleanup() {
  [ -z "$holder_pid" ] || kill "$holder_pid" 2>/dev/null
  end_test
}
trap cleanup EXIT

client_dir=$here/e2e
source "$here/wine_harness.sh"

ref=$work/stv.ref
log=$work/bridge.log
bridge_settings "$ref" "$log"

# The stand-in with a reference of the GIOP version on `port` (0: any free one).
standin_on() { # giop version, port, call log name
  start_standin "$3" --giop "$1" --port "$2"
}
# A port that is free now: the port of a stand-in started with port 0 and
# stopped before anything connected to it. omniORB sets SO_REUSEADDR only
# on a port given to it, and a stand-in that is to be restarted on its port
# needs it: the connections that it closed when it stopped stay in
# TIME_WAIT on that port once the bridge has closed its ends.
free_port() {
  local port
  standin_on 1.2 0 calls-probe.txt || return 1
  port=$(ref_port)
  stop_standin
  echo "$port"
}
lacks_key() { ! has_key "$1"; }

# What the application receives from methods.vbs, by its call log's rules.
methods_calls=(
  'resetApp'
  'lock'
  'addNode 1.5 -2 -> 1'
  'addNode -0.1 1e+300 -> 2'
  'addNode 2.5e-07 -0 -> 3'
  'addEBBeam 1 2 -> 1'
  'addTruss 3 2 -> 2'
  'setConstraints 1 true false true'
  'setConstraints 3 true false true'
  'setForces 2 -1.5 0 21000'
  'setNodeLabel 1 "abc"'
  'setNodeLabel 2 ""'
  'setNodeLabel 3 ""'
  'setBeamLabel 1 "ab"'
  'setBeamLabel 2 "Tr\xe4ger \xc4\xd6\xdc\xfc\xdf"'
  'setNodeLabel 1 "say \"x\" \\ \x09end"'
  'setEBBeamLoads 1 -1 2.5 0.1 -1e-07'
  'setEBBeamHinges 1 true false true false true true'
  'setEBBeamSectionalVals 1 21000 2.5e-07'
  'setTrussSectionalVals 2 1e+17'
  'unlock'
  'addEBBeam 1 1 -> BAD_PARAM'
  'setForces -1 0 0 0 -> BAD_PARAM'
  'setTrussSectionalVals 1 5 -> BAD_PARAM'
  'setBeamLabel 2 "after"'
  'unlock'
)
bad_param='System exception `BAD_PARAM'"'"'<LF>Completed: no<LF>Minor code: 0'
methods_output=(
  'isValid=1'
  'addNode=1'
  'addNode=2'
  'addNode=3'
  'addEBBeam=1'
  'addTruss=2'
  "addEBBeam err=80040201 source=StavaAutomationBridge.Model.addEBBeam"
  "desc=$bad_param"
  "setForces err=80040201 source=StavaAutomationBridge.Model.setForces"
  "desc=$bad_param"
  "setTrussSectionalVals err=80040201 source=StavaAutomationBridge.Model.setTrussSectionalVals"
  "desc=$bad_param"
  'DONE'
)
# The log of a methods.vbs run: each failed call as "<method> failed: " and
# the description that the script got.
methods_log() {
  local method
  printf '%s\r\n' "bridge startup" "$(stv_line)"
  for method in addEBBeam setForces setTrussSectionalVals; do
    printf '%s failed: %s\r\n' "$method" "$(logged "$bad_param")"
  done
  printf '%s\r\n' "bridge shutdown"
}
# methods.vbs against the running stand-in, in a bridge process of its own.
run_methods() { # kind of reference
  local out
  mark_calls
  out=$(client methods.vbs)
  # A Null label fails in the client's own coercion (VBScript error 13, type
  # mismatch); the bridge is not called.
  check "$1: Null label refused as a type mismatch" grep -q '^setNodeLabel(Null) err=D ' <<<"$out"
  out=$(grep -v '^setNodeLabel(Null) \|^desc=Type mismatch' <<<"$out")
  check "$1: fifteen methods, results and errors as expected" \
    same "$(printf '%s\n' "${methods_output[@]}")" "$out"
  check "$1: server ends after the last release" prefix_idle
  check "$1: the application received exactly these calls" calls_are "${methods_calls[@]}"
  check "$1: log names each failed call with the ORB's text" same "$(methods_log)" "$(cat "$log")"
  mark_calls
}
# A stopped application: the call reaches the script as COMM_FAILURE from
# StavaAutomationBridge.Model.<method>, with the ORB's text as description,
# whose completion status matches the code.
comm_failure_ok() { # method, reach.vbs output
  local code completion desc
  code=$(sed -n "s/^$1= err=\\([0-9A-F]*\\)\$/\\1/p" <<<"$2")
  case $code in
    80040204) completion=no ;;
    80041204) completion=yes ;;
    80042204) completion=maybe ;;
    *) printf 'unexpected code for %s:\n%s\n' "$1" "$2"; return 1 ;;
  esac
  desc=$(description_of "$1" "$2")
  grep -A1 "^$1= err=" <<<"$2" | grep -qx "source=StavaAutomationBridge.Model.$1" &&
    [[ $desc == "System exception \`COMM_FAILURE'<LF>"* ]] &&
    [[ $desc == *"<LF>Completed: $completion<LF>Minor code: "* ]] ||
    { printf 'description of %s does not match %s:\n%s\n' "$1" "$code" "$2"; return 1; }
}

# --- IIOP 1.2 reference -----------------------------------------------------
require "stand-in publishes a reference" standin_on 1.2 "$(free_port)" calls-12.txt
read -r giop host port <<<"$(profile)"
check "reference has an IIOP 1.2 profile on loopback" test "$giop $host" == "1.2 127.0.0.1"

# Registration, run by the test: the client registers nothing by itself.
w "$exe" /RegServer; rc=$?
check "RegServer exits with 0" test "$rc" -eq 0
check "RegServer writes the class's local server key" has_key "HKCR\\CLSID\\$clsid\\LocalServer32"
check "RegServer's log" log_is "bridge startup" "bridge shutdown"
# A registration run never reads the reference or calls the application.
check "RegServer sends nothing to the application" calls_are
run_methods "IIOP 1.2"

# --- Two clients, a stopped application and its restart ---------------------
# holder.vbs keeps one bridge process (and its connection) alive while
# reach.vbs runs as a second client of the same process.
held_stv=$(stv_line)
sync=$work/sync
mkdir -p "$sync"
timeout 240 "$wine" cscript //nologo "$(script holder.vbs)" "$(winpath "$sync")" \
  > "$work/holder.out" 2>"$work/holder.err" &
holder_pid=$!
require "first client holds an object" wait_for_file "$sync/held" 60
out=$(client reach.vbs)
check "second client's calls work beside the first" \
  same "$(printf '%s\n' 'CreateObject= err=0' 'addNode=5 err=0' 'lock= err=0' DONE)" "$out"
check "both clients reached the one application" \
  calls_are 'addNode 0 0 -> 4' 'addNode 7 -7 -> 5' 'lock'

# The first call may find the connection closed by the stopped application
# (completed: maybe) or fail to send (no); the second finds no listener.
stop_standin
stopped=$(client reach.vbs)
check "stopped application: client ran to its end" grep -qx DONE <<<"$stopped"
check "stopped application: addNode fails with a readable COMM_FAILURE" comm_failure_ok addNode "$stopped"
check "stopped application: lock fails with a readable COMM_FAILURE" comm_failure_ok lock "$stopped"
check "stopped application: lock finds no listener" grep -qx 'lock= err=80040204' <<<"$stopped"
check "the server still holds the first client's object" kill -0 "$holder_pid"

# Restart on the same port: the object key is fixed, so the reference that
# the running bridge read at its start is served again.
check "stand-in restarts on the same port" standin_on 1.2 "$port" calls-12-restarted.txt
out=$(client reach.vbs)
check "after the restart the next call works again" \
  same "$(printf '%s\n' 'CreateObject= err=0' 'addNode=1 err=0' 'lock= err=0' DONE)" "$out"
touch "$sync/release"
check "first client ends" wait "$holder_pid"
holder_pid=
check "first client's calls work before and after the restart" \
  same "$(printf '%s\n' 'first addNode=4 err=0' 'released=True' 'last addNode=2 err=0' DONE)" \
       "$(tr -d '\r' < "$work/holder.out")"
check "server ends after the last client's release" prefix_idle
check "restarted application received the later calls and the final unlock" \
  calls_are 'addNode 7 -7 -> 1' 'lock' 'addNode 0 1 -> 2' 'unlock'
check "one server for both clients; its log holds both failures as the script saw them" \
  log_is "bridge startup" "$held_stv" \
         "addNode failed: $(logged "$(description_of addNode "$stopped")")" \
         "lock failed: $(logged "$(description_of lock "$stopped")")" \
         "bridge shutdown"
stop_standin

# --- IIOP 1.0 reference -----------------------------------------------------
require "stand-in publishes a 1.0 reference" standin_on 1.0 0 calls-10.txt
read -r giop host port <<<"$(profile)"
check "reference has an IIOP 1.0 profile on loopback" test "$giop $host" == "1.0 127.0.0.1"
run_methods "IIOP 1.0"

# --- A reference file that PowerShell 5 wrote: UTF-16LE with its mark --------
ref16=$work/stv16.ref
{ printf '\xff\xfe'; printf '%s\r\n' "$(cat "$ref")" | iconv -f ASCII -t UTF-16LE; } >"$ref16"
reg add "$bridge_key" /v refFile /d "$(winpath "$ref16")" /f >/dev/null
mark_calls
out=$(client reach.vbs)
check "UTF-16 reference: the calls work" \
  same "$(printf '%s\n' 'CreateObject= err=0' 'addNode=4 err=0' 'lock= err=0' DONE)" "$out"
check "UTF-16 reference: server ends after the client" prefix_idle
check "UTF-16 reference: the application received the calls and the final unlock" \
  calls_are 'addNode 7 -7 -> 4' lock unlock
check "UTF-16 reference: the log shows the reference and its encoding" \
  log_is "bridge startup" "$(stv_line)" "ref-file '$(winpath "$ref16")' read as UTF-16LE" "bridge shutdown"
reg add "$bridge_key" /v refFile /d "$(winpath "$ref")" /f >/dev/null

# Unregistration (its keys are covered by server_test.sh) sends nothing to
# the application either.
mark_calls
w "$exe" /UnregServer; rc=$?
check "UnregServer exits with 0" test "$rc" -eq 0
check "UnregServer removes the class key" lacks_key "HKCR\\CLSID\\$clsid"
check "UnregServer sends nothing to the application" calls_are
stop_standin
show_errors standin

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
