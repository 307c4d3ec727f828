#!/usr/bin/env bash
# Fault tests of the whole chain under Wine: VBScript clients run by cscript,
# the bridge as a local COM server in a prefix of its own, our ORB, and on
# loopback either the native application stand-in or the native fault peer.
# Covers registration runs beside an application that never answers, the
# start-up's narrow against one (with callTimeout), the application killed
# during a call and restarted on the same port, the application moved to
# another port, a peer that never answers (with and without the registry value
# callTimeout), one that answers garbage, one that closes at once, one that
# trickles its replies octet by octet, a reply that arrives after its call
# timed out, and the application closing a connection that a pausing script
# has left idle (through the bridge, and through our ORB in both concurrency
# models). Every case checks that the script gets a readable error or the
# right result, that nothing hangs, and that the bridge keeps serving.
# Each case is a scenario of its own (wine_harness.sh, `scenario`): its
# registry settings, its stand-in or peer, its files, its counts; one that
# fails does not keep the others from running.
# Usage: fault_test.sh BRIDGE.exe STAVA-STANDIN STAVA-FAULTPEER STAVA-PAUSECLIENT.exe
set -uo pipefail
exe=$1
standin=$2
faultpeer=$3
pauseclient=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
command -v catior >/dev/null || { echo "FAIL: catior (Debian package omniorb) is missing"; exit 1; }
[ -x "$faultpeer" ] || { echo "FAIL: no fault peer at $faultpeer (build stava-faultpeer natively)"; exit 1; }
started_at=$SECONDS

export LC_ALL=C
work=$(mktemp -d /tmp/stava-fault.XXXXXX)
trap end_test EXIT

client_dir=$here/fault
source "$here/wine_harness.sh"

peer_pid=
client_pid=
stop_peer() { stop_pid "$peer_pid"; peer_pid=; }
# The stand-in with a GIOP 1.0 reference on `port` (0: any free one).
standin_on() { # port, call log name, more stand-in options...
  local port=$1 name=$2
  shift 2
  start_standin "$name" --giop 1.0 --port "$port" "$@"
}
# Starts a client script in the background (at most 180 s); its output goes
# to $work/NAME.out, its error output to $work/NAME.err (explain shows it).
client_bg() { # output name, script, arguments...
  local out=$work/$1.out name=$2; shift 2
  timeout 180 "$wine" cscript //nologo "$(script "$name")" "$@" > "$out" 2>"${out%.out}.err" &
  client_pid=$!
}
# Waits for the background client (in this shell, not in a subshell, which
# could not wait for it).
client_end() {
  wait "$client_pid"
  client_pid=
}
# The background client's output without CRs.
client_output() { tr -d '\r' < "$work/$1.out"; }
wait_for_line() { # file, extended regular expression, seconds
  local i
  for i in $(seq $(($3 * 5))); do
    grep -Eq "$2" "$1" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}
# The sync directory for recover.vbs and pause.vbs.
new_sync() { sync=$work/sync; mkdir -p "$sync"; }

timeout_dword() { reg add "$bridge_key" /v callTimeout /t REG_DWORD /d "$1" /f >/dev/null; }
timeout_text() { reg add "$bridge_key" /v callTimeout /t REG_SZ /d "$1" /f >/dev/null; }
timeout_none() { reg delete "$bridge_key" /v callTimeout /f >/dev/null 2>&1; true; }

# Starts the fault peer; its reference goes to $ref, its events to $events.
events=
start_peer() { # mode, event file name, more peer options...
  local mode=$1
  rm -f "$ref"
  events=$work/$2
  shift 2
  "$faultpeer" --mode "$mode" --ref "$ref" --max-seconds 300 "$@" > "$events" 2>>"$work/peer.err" &
  peer_pid=$!
  wait_for_file "$ref" 30
}
# A port that is free now. omniORB sets SO_REUSEADDR only on a port given to
# it, so a stand-in that is to be killed and restarted on its port while the
# bridge still holds a connection must be given its port from the start.
free_port() {
  local file=$work/free-port.txt port
  "$faultpeer" --mode close --ref "$work/free-port.ref" --max-seconds 30 > "$file" 2>>"$work/peer.err" &
  local pid=$!
  wait_for_line "$file" '^listening [0-9]+$' 30
  port=$(sed -n 's/^listening //p' "$file")
  stop_pid "$pid"
  echo "$port"
}
# True while a connection to the port on loopback is in CLOSE_WAIT (state
# 08 in the kernel's table): its other end has closed it, this end not yet.
closed_by_peer() { # port
  grep -Eq "$(printf ' [0-9A-F]{8}:[0-9A-F]{4} [0-9A-F]{8}:%04X 08 ' "$1")" /proc/net/tcp
}
requests_are() { # expected operations, in order, that the peer received
  same "$(printf '%s\n' "$@")" "$(sed -n 's/^request [0-9]* //p' "$events")"
}

# The error a reported call got: its code, or nothing if it got none.
code_of() { # name, output
  sed -n "s/^$1=[^ ]* err=\\([0-9A-F]*\\)\$/\\1/p" <<<"$2"
}
# The call failed with system exception `name` mapped to `code`, with the
# bridge as the source and the ORB's text, naming the exception and the
# completion status that the code carries, as the description.
failed_with() { # call name, method, exception, expected code, output
  local code desc completion
  code=$(code_of "$1" "$5")
  desc=$(description_of "$1" "$5")
  case ${code:4:1} in
    0) completion=no ;;
    1) completion=yes ;;
    2) completion=maybe ;;
    *) completion=unknown ;;
  esac
  [[ $code =~ ^$4$ ]] &&
    grep -A1 "^$1=[^ ]* err=" <<<"$5" | grep -qx "source=StavaAutomationBridge.Model.$2" &&
    [[ $desc == "System exception \`$3'<LF>"* ]] &&
    [[ $desc == *"<LF>Completed: $completion<LF>"* ]] ||
    { printf '%s: expected %s (%s) from %s, got:\n%s\n' "$1" "$3" "$4" "$2" "$5"; return 1; }
}
# Any COMM_FAILURE: which completion status depends on when the connection
# broke (before sending: no; while waiting: no or maybe).
comm_failure() { failed_with "$1" "$2" COMM_FAILURE '8004[0-2]204' "$3"; }
no_response() { failed_with "$1" "$2" NO_RESPONSE 8004220E "$3"; }
succeeded_with() { # call name, value, output
  grep -qx "$1=$2 err=0" <<<"$3" || { printf '%s: expected %s, got:\n%s\n' "$1" "$2" "$3"; return 1; }
}
ms_between() { # call name, low, high, output: its "NAME ms=N" within [low, high]
  local ms
  ms=$(sed -n "s/^$1 ms=\\([0-9]*\\)\$/\\1/p" <<<"$4")
  [ -n "$ms" ] && [ "$ms" -ge "$2" ] && [ "$ms" -le "$3" ] ||
    { echo "$1 took '$ms' ms, expected $2..$3"; return 1; }
}
# The log line of a call that failed as the script saw it.
failure_line() { # method, call name, output
  printf '%s failed: %s' "$1" "$(logged "$(description_of "$2" "$3")")"
}

# Every scenario starts with a reference and a log of its own in its folder
# and no call time-out; it sets the time-out it needs.
setup() {
  ref=$work/stv.ref
  log=$work/bridge.log
  timeout_none
  require "the bridge's registry settings are written" bridge_settings "$ref" "$log"
}
# Whatever a scenario left running ends here, so that the next one starts
# with no client, application or bridge of its.
teardown() {
  stop_pid "$client_pid"
  client_pid=
  stop_standin
  stop_peer
  timeout_none
  prefix_idle >/dev/null 2>&1 || { show_bridges; "$wineserver" -k >/dev/null 2>&1; }
  show_errors standin peer pauseclient
}

# --- Registration runs beside an application that never answers --------------
# The installer waits for /RegServer, and a script may hold the application's
# lock meanwhile: a registration run never reads the reference or connects.
registration_runs() {
  setup
  require "silent peer starts" start_peer silent events-registration.txt
  local switch started took rc
  for switch in /RegServer /UnregServer; do
    started=$(now_ms)
    timeout 30 "$wine" "$exe" "$switch" </dev/null; rc=$?
    took=$(($(now_ms) - started))
    echo "$switch took $took ms"
    check "$switch beside a silent application exits with 0" test "$rc" -eq 0
    check "$switch ends within 15 s" test "$took" -le 15000
    check "$switch rewrites the log with its two lines only" log_is "bridge startup" "bridge shutdown"
  done
  check "the silent application received no connection" same "listening $(ref_port)" "$(cat "$events")"
}

# --- The start-up's narrow against an application that never answers ---------
# A reference of another type than StavaController makes the bridge ask the
# application (_is_a) at its start; callTimeout bounds that wait too, so
# that COM gets its object and the script hears that nothing is connected.
silent_peer_at_narrow() {
  setup
  timeout_dword 2000
  require "silent peer of another type starts" \
    start_peer silent events-narrow.txt --type-id IDL:omg.org/CORBA/Object:1.0
  local stv started took out
  stv=$(stv_line)
  started=$(now_ms)
  out=$(timeout 40 "$wine" cscript //nologo "$(script valid.vbs)" 2>/dev/null | tr -d '\r')
  took=$(($(now_ms) - started))
  echo "the client took $took ms"
  check "narrow timed out: the script gets its object and isValid 0" \
    same "$(printf '%s\n' 'CreateObject err=0' 'isValid=0 err=0' DONE)" "$out"
  check "narrow timed out: within 20 s" test "$took" -le 20000
  check "narrow timed out: the _is_a went out" requests_are _is_a
  check "narrow timed out: server ends after the client" prefix_idle
  check "narrow timed out: the log says why" \
    same "$(printf '%s\n' "bridge startup" "$stv" "reference not converted: System exception \`NO_RESPONSE'")" \
         "$(tr -d '\r' <"$log" | head -n 3)"
  check "narrow timed out: the log ends with the shutdown" same "bridge shutdown" "$(tr -d '\r' <"$log" | tail -n 1)"
}

# --- The application killed during a call, restarted on the same port --------
killed_during_call() {
  setup
  # The call waits in the stand-in for 30 s; the kill ends it at once.
  require "stand-in starts with a slow addNode" \
    standin_on "$(free_port)" calls-killed.txt --delay addNode=30000
  local port stv out
  port=$(ref_port)
  stv=$(stv_line)
  new_sync
  client_bg killed recover.vbs "$(winpath "$sync")"
  require "client starts its first call" wait_for_file "$sync/calling" 60
  check "the call reaches the stand-in" wait_until 30 connected_to "$port"
  sleep 1
  kill_hard "$standin_pid"
  standin_pid=
  check "killed stand-in: the call returns" wait_for_file "$sync/called" 30
  check "stand-in restarts on the same port" standin_on "$port" calls-restarted.txt
  touch "$sync/mended"
  client_end
  out=$(client_output killed)
  check "killed stand-in: client ran to its end" grep -qx DONE <<<"$out"
  check "killed stand-in: the call in progress fails with a readable COMM_FAILURE" \
    comm_failure first addNode "$out"
  check "after the restart the next call of the same bridge succeeds" succeeded_with second 1 "$out"
  check "killed stand-in: server ends after the client" prefix_idle
  check "restarted stand-in received the next call and the final unlock" \
    calls_are 'addNode 3 4 -> 1' unlock
  check "killed stand-in: the log holds the failure as the script saw it" \
    log_is "bridge startup" "$stv" "$(failure_line addNode first "$out")" "bridge shutdown"
}

# --- The application restarted on another port ------------------------------
moved_to_another_port() {
  setup
  require "stand-in starts" standin_on 0 calls-old-port.txt
  local old_port old_ref new_port out
  old_port=$(ref_port)
  old_ref=$(cat "$ref")
  new_sync
  client_bg moved recover.vbs "$(winpath "$sync")"
  require "client's first call is served" wait_for_file "$sync/called" 60
  kill_hard "$standin_pid"
  standin_pid=
  require "stand-in restarts" standin_on 0 calls-new-port.txt
  new_port=$(ref_port)
  check "the stand-in moved to another port" test "$new_port" != "$old_port"
  check "the reference file changed" test "$(cat "$ref")" != "$old_ref"
  touch "$sync/mended"
  client_end
  out=$(client_output moved)
  check "moved stand-in: client ran to its end" grep -qx DONE <<<"$out"
  check "moved stand-in: the first call worked" succeeded_with first 1 "$out"
  check "moved stand-in: the running bridge still uses the old reference and fails readably" \
    comm_failure second addNode "$out"
  check "moved stand-in: first bridge ends after its client" prefix_idle
  check "moved stand-in: the first bridge never reached the new address" calls_are
  out=$(client call.vbs)
  check "a new bridge reads the new reference and its call succeeds" succeeded_with addNode 1 "$out"
  check "moved stand-in: second bridge ends after its client" prefix_idle
  check "moved stand-in: the new stand-in received the call and the final unlock" \
    calls_are 'addNode 1.5 -2 -> 1' unlock
  check "moved stand-in: the second bridge logged the new reference" \
    log_is "bridge startup" "$(stv_line)" "bridge shutdown"
}

# --- A peer that never answers, without a call time-out -----------------------
silent_peer_without_time_out() {
  setup
  # A malformed callTimeout counts as none: if "2000ms" were read as 2000 (or
  # 2) the call would end long before the peer is killed.
  timeout_text 2000ms
  require "silent peer starts" start_peer silent events-silent.txt
  local port out
  port=$(ref_port)
  new_sync
  client_bg silent recover.vbs "$(winpath "$sync")"
  require "silent peer receives the first call" wait_for_line "$events" '^request [0-9]+ addNode$' 60
  sleep 3
  still_waiting() { [ ! -e "$sync/called" ] && kill -0 "$client_pid" 2>/dev/null; }
  check "without a time-out the call is still waiting after 3 s" still_waiting
  kill_hard "$peer_pid"
  peer_pid=
  check "killed silent peer: the call returns" wait_for_file "$sync/called" 30
  check "stand-in takes the silent peer's port" standin_on "$port" calls-after-silent.txt
  touch "$sync/mended"
  client_end
  out=$(client_output silent)
  check "silent peer: client ran to its end" grep -qx DONE <<<"$out"
  check "silent peer killed: the waiting call fails with a readable COMM_FAILURE" \
    comm_failure first addNode "$out"
  check "after the silent peer the next call of the same bridge succeeds" succeeded_with second 1 "$out"
  check "silent peer: server ends after the client" prefix_idle
  check "the stand-in received the next call and the final unlock" calls_are 'addNode 3 4 -> 1' unlock
}

# --- A peer that answers garbage --------------------------------------------
garbage_peer() {
  setup
  require "garbage peer starts" start_peer garbage events-garbage.txt
  local port stv out
  port=$(ref_port)
  stv=$(stv_line)
  new_sync
  client_bg garbage recover.vbs "$(winpath "$sync")"
  require "garbage peer's answer goes out" wait_for_file "$sync/called" 60
  stop_peer
  check "stand-in takes the garbage peer's port" standin_on "$port" calls-after-garbage.txt
  touch "$sync/mended"
  client_end
  out=$(client_output garbage)
  check "garbage: client ran to its end" grep -qx DONE <<<"$out"
  check "garbage: the call fails with COMM_FAILURE, completed maybe" \
    failed_with first addNode COMM_FAILURE 80042204 "$out"
  check "garbage: the description names minor code 17 (not a GIOP message)" \
    grep -q '^desc=.*<LF>Minor code: 17\( \|<LF>\|$\)' <<<"$out"
  check "after garbage the next call of the same bridge succeeds" succeeded_with second 1 "$out"
  check "garbage: server ends after the client" prefix_idle
  check "garbage: the peer got one request and answered it" requests_are addNode
  check "the stand-in received the next call and the final unlock" calls_are 'addNode 3 4 -> 1' unlock
  check "garbage: the log holds the failure as the script saw it" \
    log_is "bridge startup" "$stv" "$(failure_line addNode first "$out")" "bridge shutdown"
}

# --- A peer that closes the connection on the first request ------------------
closing_peer() {
  setup
  require "closing peer starts" start_peer close events-close.txt
  local out
  out=$(client call.vbs)
  check "closed connection: the call fails with a readable COMM_FAILURE" comm_failure addNode addNode "$out"
  check "closed connection: client ran to its end" grep -qx DONE <<<"$out"
  check "closed connection: server ends after the client" prefix_idle
  check "closed connection: the final unlock reconnects and fails too" requests_are addNode unlock
}

# --- A peer that trickles its reply one octet at a time -----------------------
trickling_peer() {
  setup
  local result=$((1000 + RANDOM)) out
  require "trickling peer starts" start_peer trickle events-trickle.txt --result "$result"
  out=$(client call.vbs)
  check "trickled reply without a time-out: the result arrives whole" succeeded_with addNode "$result" "$out"
  check "trickle: server ends after the client" prefix_idle
  check "trickle: the peer answered the call and the final unlock" requests_are addNode unlock
}

# The timed receiving path, with a big-endian reply; the reply takes about
# 0.6 s, far within the time-out.
trickling_peer_within_time_out() {
  setup
  timeout_text 20000
  local result=$((1000 + RANDOM)) out
  require "big-endian trickling peer starts" \
    start_peer trickle events-trickle-timed.txt --result "$result" --big-endian
  out=$(client call.vbs)
  check "trickled big-endian reply within a time-out: the result arrives whole" \
    succeeded_with addNode "$result" "$out"
  check "trickle with time-out: server ends after the client" prefix_idle
}

# --- A peer that never answers, with a call time-out --------------------------
silent_peer_with_time_out() {
  setup
  timeout_dword 2000
  require "silent peer starts again" start_peer silent events-silent-timed.txt
  local stv out
  stv=$(stv_line)
  out=$(client timed.vbs)
  check "time-out: client ran to its end" grep -qx DONE <<<"$out"
  check "time-out: the first call ends with a readable NO_RESPONSE" no_response first addNode "$out"
  check "time-out: the first call returned after about 2 s (1 to 20 s)" ms_between first 1000 20000 "$out"
  check "time-out: the next call in the same script returns NO_RESPONSE too" no_response second addNode "$out"
  check "time-out: the next call returned within 1 to 20 s" ms_between second 1000 20000 "$out"
  check "time-out: server ends after the client, its unlock timed out as well" prefix_idle
  check "time-out: both calls and the final unlock went out on the connection" \
    requests_are addNode addNode unlock
  check "time-out: one connection for all three" test "$(grep -c '^accepted$' "$events")" -eq 1
  check "time-out: the log holds both failures as the script saw them" \
    log_is "bridge startup" "$stv" "$(failure_line addNode first "$out")" \
           "$(failure_line addNode second "$out")" \
           "unlock failed: $(logged "$(description_of second "$out")")" "bridge shutdown"
}

# --- A late reply after a time-out ------------------------------------------
# addTruss is held 5 s in the stand-in, the bridge gives up after 4 s; the
# next call goes out on the same connection, waits behind addTruss, and must
# get its own reply, which the stand-in sends after the late one.
late_reply() {
  setup
  timeout_text 4000
  require "stand-in starts with a slow addTruss" standin_on 0 calls-late.txt --delay addTruss=5000
  local out
  out=$(client late.vbs)
  check "late reply: client ran to its end" grep -qx DONE <<<"$out"
  check "late reply: the nodes are created" \
    same "$(printf '%s\n' 'addNode=1 err=0' 'addNode=2 err=0')" "$(grep '^addNode=' <<<"$out")"
  check "late reply: the slow call ends with a readable NO_RESPONSE" no_response addTruss addTruss "$out"
  check "late reply: the slow call returned within 1 to 20 s" ms_between addTruss 1000 20000 "$out"
  check "late reply: the next call gets its own result, not the late one" succeeded_with addEBBeam 2 "$out"
  check "late reply: server ends after the client" prefix_idle
  check "late reply: the stand-in served every call, the late one included" \
    calls_are 'addNode 0 0 -> 1' 'addNode 1 0 -> 2' 'addTruss 1 2 -> 1' 'addEBBeam 1 2 -> 2' unlock
}

# --- The application closes connections left idle ---------------------------
# omniORB closes a connection that has been idle for a while: a GIOP
# CloseConnection, then the socket; with --idle-scan 1 after about 5 s. A
# script that pauses longer must go on calling without an error, and the
# application must see each call once.
idle_connection_closed() {
  setup
  require "stand-in starts, closing idle connections" standin_on 0 calls-idle.txt --idle-scan 1
  local port out
  port=$(ref_port)
  new_sync
  client_bg idle pause.vbs "$(winpath "$sync")" 8
  require "pausing client's first call returns" wait_for_file "$sync/pausing" 60
  check "the application closes the bridge's idle connection during the pause" \
    wait_until 30 closed_by_peer "$port"
  touch "$sync/closed"
  client_end
  out=$(client_output idle)
  check "pause: client ran to its end" grep -qx DONE <<<"$out"
  check "pause: the call before the pause succeeded" succeeded_with first 1 "$out"
  check "pause: the call after the pause succeeds" succeeded_with second 2 "$out"
  check "pause: server ends after the client" prefix_idle
  check "pause: the application received each call once, and the final unlock" \
    calls_are 'addNode 5 0 -> 1' 'addNode 5 1 -> 2' unlock
}

# The same through our ORB alone in each concurrency model, both at once.
idle_connection_closed_orb() {
  setup
  require "stand-in starts, closing idle connections" standin_on 0 calls-idle-orb.txt --idle-scan 1
  local model
  local -A pause_pid pause_x=([blocking]=6 [reactive]=7)
  for model in blocking reactive; do
    timeout 120 "$wine" "$pauseclient" "$(winpath "$ref")" "$model" "${pause_x[$model]}" 8 \
      > "$work/pause-$model.out" 2>>"$work/pauseclient.err" </dev/null &
    pause_pid[$model]=$!
  done
  # The model's client ran to its end, both calls succeeded after the
  # connection had been closed, and the application logged each call once.
  paused_and_called() { # model, x
    local out first second
    out=$(tr -d '\r' < "$work/pause-$1.out")
    first=$(sed -n 's/^first=\([0-9]*\) err=0$/\1/p' <<<"$out")
    second=$(sed -n 's/^second=\([0-9]*\) err=0$/\1/p' <<<"$out")
    grep -qx DONE <<<"$out" && grep -qx closed=1 <<<"$out" && [ -n "$first" ] && [ -n "$second" ] &&
      [ "$(grep -cx "addNode $2 0 -> $first" "$calls")" -eq 1 ] &&
      [ "$(grep -cx "addNode $2 1 -> $second" "$calls")" -eq 1 ] &&
      [ "$(grep -c "^addNode $2 " "$calls")" -eq 2 ] ||
      { printf '%s client:\n%s\n' "$1" "$out"; return 1; }
  }
  for model in blocking reactive; do
    wait "${pause_pid[$model]}"
    check "pause, our ORB $model: both calls succeed and arrive once" \
      paused_and_called "$model" "${pause_x[$model]}"
  done
}

scenario registration registration_runs teardown
w "$exe" /RegServer; rc=$?
require "RegServer exits with 0" test "$rc" -eq 0

scenario narrow silent_peer_at_narrow teardown
scenario killed killed_during_call teardown
scenario moved moved_to_another_port teardown
scenario silent silent_peer_without_time_out teardown
scenario garbage garbage_peer teardown
scenario close closing_peer teardown
scenario trickle trickling_peer teardown
scenario trickle-timed trickling_peer_within_time_out teardown
scenario time-out silent_peer_with_time_out teardown
scenario late late_reply teardown
scenario idle idle_connection_closed teardown
scenario idle-orb idle_connection_closed_orb teardown

[ "${#failed_scenarios[@]}" -eq 0 ] || echo "scenarios with a failure: ${failed_scenarios[*]}"
echo "$passes passed, $failures failed in $((SECONDS - started_at)) s"
[ "$failures" -eq 0 ]
