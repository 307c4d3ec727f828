#!/usr/bin/env bash
# A burst of automation clients under Wine, with the native application
# stand-in on loopback: eight VBScript clients, one started first and the
# other seven together, make 250 addNode calls each through the bridge.
# Each client runs a script file of its own: Wine's cscript opens its script
# without sharing, and two clients started on one file can fail silently.
# Every call must reach the application once, in its client's order, and
# give that client the application's answer; and every bridge process that
# COM started for the burst (Wine starts one for each activation that comes
# before a class object is registered) must end by itself through its final
# unlock, all of them within 15 s of the last client's end.
# Usage: burst_test.sh BRIDGE.exe STAVA-STANDIN
set -uo pipefail
exe=$1
standin=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
clients=8
calls_each=250
linger_limit=15

work=$(mktemp -d /tmp/stava-burst.XXXXXX)
sampler_pid=
client_pids=()
cleanup() {
  [ -z "$sampler_pid" ] || kill "$sampler_pid" 2>/dev/null
  local pid
  for pid in "${client_pids[@]}"; do kill "$pid" 2>/dev/null; done
  end_test
}
trap cleanup EXIT
client_dir=$work
source "$here/wine_harness.sh"

ref=$work/stv.ref
standin_seconds=900
require "stand-in publishes a reference" start_standin calls.txt
log=$work/bridge.log
bridge_settings "$ref" "$log"
w "$exe" /RegServer; rc=$?
require "RegServer exits with 0" test "$rc" -eq 0
require "RegServer's final unlock reached the application" calls_are unlock

for c in $(seq "$clients"); do
  cp "$here/burst/client.vbs" "$work/client$c.vbs"
done
# Notes every bridge process of the prefix while the burst runs.
sample_bridges() {
  while :; do
    bridge_pids >>"$work/seen"
    sleep 0.2
  done
}
: >"$work/seen"
sample_bridges &
sampler_pid=$!

# The clients start at once and wait for their go: client 1 for "first",
# the other seven, right after it, for "rest".
sync=$work/sync
mkdir "$sync"
start_client() { # number, go
  timeout 300 "$wine" cscript //nologo "$(script "client$1.vbs")" "$1" "$calls_each" \
    "$(winpath "$sync")" "$2" </dev/null >"$work/out$1" 2>"$work/client$1.err" &
  client_pids+=($!)
}
start_client 1 first
for c in $(seq 2 "$clients"); do
  start_client "$c" rest
done
for c in $(seq "$clients"); do
  check "client $c is ready" wait_for_file "$sync/ready$c" 120
done
touch "$sync/first"
touch "$sync/rest"
for c in $(seq "$clients"); do
  wait "${client_pids[$((c - 1))]}"
  echo "$?" >"$work/rc$c"
done
client_pids=()
last_client_end=$(now_ms)

bridges_gone "$linger_limit"; gone=$?
check "no bridge process left within ${linger_limit} s of the last client's end" test "$gone" -eq 0
if [ "$gone" -eq 0 ]; then
  echo "the last bridge process ended $(($(now_ms) - last_client_end)) ms after the last client"
else
  show_bridges
fi
kill "$sampler_pid" 2>/dev/null
wait "$sampler_pid" 2>/dev/null
sampler_pid=
instances=$(sort -u "$work/seen" | wc -l)
echo "the burst started $instances bridge processes"

# Every call once, in its client's order, with the answer its client got.
for c in $(seq "$clients"); do
  out=$(tr -d '\r' <"$work/out$c")
  check "client $c ended in time" test "$(cat "$work/rc$c")" -eq 0
  check "client $c ran to its end" grep -qx DONE <<<"$out"
  check "client $c got its go" bash -c '! grep -qx "no go" <<<"$1"' _ "$out"
  grep '^create err=' <<<"$out" | sed "s/^/client $c: /"
  check "client $c: no call failed" bash -c '! grep -q "^call .* err=" <<<"$1"' _ "$out"
  arrived=$(grep "^addNode $c " "$calls")
  check "client $c: the application received calls 1 to $calls_each in order" \
    same "$(seq "$calls_each")" "$(awk '{ print $3 }' <<<"$arrived")"
  check "client $c: it got the application's answer to each call" \
    same "$(sed 's/.* -> //' <<<"$arrived")" "$(grep -x '[0-9][0-9]*' <<<"$out")"
done
check "the application received $((clients * calls_each)) calls from the clients" \
  test "$(grep -c '^addNode ' "$calls")" -eq $((clients * calls_each))
unlocks=$(grep -cx unlock "$calls")
check "each of the $instances bridge processes ended through its final unlock" \
  test "$((unlocks - 1))" -eq "$instances"
# Each process truncated the one log at its start: shown, not checked.
echo "the bridge log after the burst:"
tr -d '\r' <"$work/bridge.log" | sed 's/^/  /'
show_errors standin

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
