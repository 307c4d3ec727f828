#!/usr/bin/env bash
# The end of bridge instances that no client uses, under Wine, with the
# native application stand-in on loopback. Started as COM starts it (with
# -Embedding or /Embedding) and never asked for an object, an instance ends
# by itself after its idle period through the normal shutdown: final unlock,
# log. Started by hand it serves until it is stopped. A client that holds an
# object through idle periods keeps its instance. And a client that creates
# an object while an instance is in its idle end gets its object (from a
# new instance) or a failure that it can retry, never a hang. Last, an
# instance ends after its last release also where that end is quickest.
# Usage: idle_test.sh BRIDGE.exe STAVA-STANDIN
set -uo pipefail
exe=$1
standin=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
command -v catior >/dev/null || { echo "FAIL: catior (Debian package omniorb) is missing"; exit 1; }
# The bridge's idle period, and what an ending may take beyond it here: the
# start of the process under Wine, the apartment's grace time, the unlock.
idle_ms=5000
end_slack_ms=10000
linger_limit=15

work=$(mktemp -d /tmp/stava-idle.XXXXXX)
idle_pid=
cleanup() {
  [ -z "$idle_pid" ] || kill "$idle_pid" 2>/dev/null
  end_test
}
trap cleanup EXIT
client_dir=$here
source "$here/wine_harness.sh"

ref=$work/stv.ref
log=$work/bridge.log

require "stand-in publishes a reference" start_standin calls.txt
bridge_settings "$ref" "$log"
w "$exe" /RegServer; rc=$?
require "RegServer exits with 0" test "$rc" -eq 0
mark_calls

# An instance started as COM starts it, asked for nothing.
unused_instance() { # switch
  local started took rc
  mark_calls
  started=$(now_ms)
  timeout 60 "$wine" "$exe" "$1" </dev/null
  rc=$?
  took=$(($(now_ms) - started))
  echo "$1: the unused instance ended after $took ms"
  check "$1: the unused instance ends by itself with exit code 0" test "$rc" -eq 0
  check "$1: not before its idle period" test "$took" -ge "$idle_ms"
  check "$1: within its idle period and $((end_slack_ms / 1000)) s" \
    test "$took" -le $((idle_ms + end_slack_ms))
  check "$1: its final unlock reached the application" calls_are unlock
  check "$1: its log ends with the shutdown" log_is "bridge startup" "$(stv_line)" "bridge shutdown"
  check "$1: no bridge process left" bridges_gone "$linger_limit"
}
unused_instance -Embedding
unused_instance /Embedding

# By hand, an instance keeps serving, idle or not, until it is stopped.
mark_calls
timeout $(((idle_ms + end_slack_ms) / 1000)) "$wine" "$exe" </dev/null; rc=$?
check "by hand: still serving when stopped after its idle period and more" test "$rc" -eq 124
check "by hand: no final unlock before it was stopped" calls_are
prefix_idle >/dev/null 2>&1 || "$wineserver" -k >/dev/null 2>&1

# An object held through two idle periods keeps the instance that COM started.
mark_calls
out=$(client idle/hold.vbs $((2 * idle_ms / 1000 + 2)))
check "held object: client ran to its end" grep -qx DONE <<<"$out"
check "held object: served before, during and after two idle periods" \
  same "$(printf '%s\n' 'first=1 err=0' 'held err=0 valid=True' 'last=2 err=0' DONE)" "$out"
check "held object: the instance ends after the release" bridges_gone "$linger_limit"
check "held object: one instance served both calls and unlocked at its end" \
  calls_are 'addNode 0 0 -> 1' 'addNode 0 1 -> 2' unlock
stop_standin

# An idle end under way: the application holds the final unlock of an unused
# instance for a while, so a client that comes once that unlock has arrived
# finds the instance ending, its class object revoked.
require "stand-in with a slow unlock publishes a reference" \
  start_standin calls-race.txt --delay unlock=4000
port=$(ref_port)
timeout 90 "$wine" "$exe" -Embedding </dev/null &
idle_pid=$!
require "idle end under way: the final unlock reached the application" \
  wait_until $(((idle_ms + end_slack_ms) / 1000)) connected_to "$port"
mkdir -p "$work/sync" && touch "$work/sync/go"
out=$(client burst/client.vbs 1 3 "$(winpath "$work/sync")" go)
grep '^create err=' <<<"$out" | sed 's/^/client during the idle end: /'
check "client during the idle end: ran to its end" grep -qx DONE <<<"$out"
check "client during the idle end: got its object and three answers" \
  same "$(printf '%s\n' 1 2 3 DONE)" "$(grep -v '^create err=' <<<"$out")"
wait "$idle_pid"; rc=$?
idle_pid=
check "the ending instance ends with exit code 0" test "$rc" -eq 0
check "no bridge process left" bridges_gone "$linger_limit"
check "the ending instance's unlock, then the client's calls and its instance's unlock" \
  calls_are unlock 'addNode 1 1 -> 1' 'addNode 1 2 -> 2' 'addNode 1 3 -> 3' unlock
stop_standin

# Without an application the way from the last release to the end of COM is
# shortest; there the reply to that release has been seen to lose a race
# with COM's teardown, which then waits for ever. Ten serving runs, each
# must end.
reg add "$bridge_key" /v refFile /d 'C:\missing\stv.ref' /f >/dev/null
ended=0
for round in $(seq 10); do
  # A script file of its own for each run: Wine's cscript opens its script
  # without sharing, and one still closing the file makes the next fail
  # silently.
  cp "$here/idle/hold.vbs" "$work/hold$round.vbs"
  out=$(timeout 90 "$wine" cscript //nologo "$(winpath "$work/hold$round.vbs")" 0 2>"$work/hold.err" | tr -d '\r')
  check "without an application, run $round: served" \
    same "$(printf '%s\n' 'first=0 err=0' 'held err=0 valid=False' 'last=0 err=0' DONE)" "$out"
  if bridges_gone "$linger_limit"; then
    ended=$((ended + 1))
  else
    show_bridges
    "$wineserver" -k >/dev/null 2>&1
  fi
done
check "without an application, each of ten runs ended after its last release" test "$ended" -eq 10
show_errors standin

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
