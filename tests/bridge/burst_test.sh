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
# unlock, all of them within 15 s of the last client's end. All of them write
# one log, which must hold whole lines only. Then two bridges whose log lines
# differ overlap; and ten times a script ends and the next starts at once,
# whose lock the first one's bridge must not undo.
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
log=$work/bridge.log
standin_seconds=900
require "stand-in publishes a reference" start_standin calls.txt
bridge_settings "$ref" "$log"
w "$exe" /RegServer; rc=$?
require "RegServer exits with 0" test "$rc" -eq 0
check "RegServer sent nothing to the application" calls_are

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
  test "$unlocks" -eq "$instances"
# Each process truncated the one log at its start, and wrote its later lines
# at the end of the file as it then was.
echo "the bridge log after the burst:"
tr -d '\r' <"$log" | sed 's/^/  /'
check "after the burst the log holds whole lines only" log_lines_whole

# Two bridges at once whose lines differ in length: the first serves a
# client that holds its object; the second, started as COM starts it, finds
# an empty reference file and ends after its idle period. The second start
# truncates the log under the first, whose shutdown line must still land
# whole at the end, not past it (NUL octets) or over the second's lines.
cp "$here/e2e/holder.vbs" "$work/holder.vbs"
hold=$work/hold
mkdir "$hold"
timeout 120 "$wine" cscript //nologo "$(script holder.vbs)" "$(winpath "$hold")" </dev/null \
  >"$work/holder.out" 2>/dev/null &
client_pids=($!)
require "first bridge: its client holds an object" wait_for_file "$hold/held" 60
cp "$ref" "$work/stv.ref.saved"
: >"$ref"
timeout 60 "$wine" "$exe" -Embedding </dev/null &
client_pids+=($!)
check "second bridge: logs its empty reference" wait_until 30 grep -q 'holds no reference' "$log"
cp "$work/stv.ref.saved" "$ref"
touch "$hold/release"
for pid in "${client_pids[@]}"; do wait "$pid"; done
client_pids=()
check "two bridges on one log: both end" bridges_gone "$linger_limit"
check "two bridges on one log: the holding client ran to its end" grep -qx DONE <(tr -d '\r' <"$work/holder.out")
check "two bridges on one log: whole lines only" log_lines_whole
check "two bridges on one log: the second's lines, then both shutdowns" \
  log_is "bridge startup" "stv is ''" "ref-file '$(winpath "$ref")' holds no reference" \
         "bridge shutdown" "bridge shutdown"

# A script that ends, and the next one started at once (a batch file, a
# macro run twice): the second script's lock must hold until its unlock. The
# first one's bridge sends its final unlock as soon as it stops taking
# objects; it must never come between the second script's lock and its next
# call. Windows starts the second script and its bridge within a fraction
# of a second, Wine takes longer: here the second script is started
# beforehand and waits for the first one's end, and the second bridge is
# started (as COM starts it) while the first script still holds its object.
order=$work/order
mkdir "$order"
# No unlock between the lock of round $1's second script and its addNode.
lock_kept() { # round
  local slice
  slice=$(tail -n +"$((calls_base + 1))" "$calls")
  awk -v r="$1" '$0 == "lock" { locked = 1; next }
    locked && $1 == "addNode" && $2 == 9 && $3 == r { found = 1; exit }
    locked && $0 == "unlock" { early = 1 }
    END { exit !(found && !early) }' <<<"$slice" ||
    { printf 'round %s, the calls since its start:\n%s\n' "$1" "$slice"; return 1; }
}
for round in $(seq 10); do
  # Files of the round's own: Wine's cscript opens its script without sharing.
  cp "$here/e2e/holder.vbs" "$work/first$round.vbs"
  cp "$here/burst/locker.vbs" "$work/second$round.vbs"
  rm -f "$order"/*
  mark_calls
  timeout 90 "$wine" cscript //nologo "$(script "second$round.vbs")" "$round" "$(winpath "$order")" ended \
    </dev/null >"$work/second$round.out" 2>/dev/null &
  client_pids=($!)
  timeout 90 "$wine" cscript //nologo "$(script "first$round.vbs")" "$(winpath "$order")" \
    </dev/null >"$work/first$round.out" 2>/dev/null &
  client_pids+=($!)
  check "round $round: the second script is ready" wait_for_file "$order/ready" 60
  check "round $round: the first script holds its object" wait_for_file "$order/held" 60
  # The second bridge has registered its class once it has logged its
  # reference (the log is emptied first to see that).
  : >"$log"
  timeout 60 "$wine" "$exe" -Embedding </dev/null &
  client_pids+=($!)
  check "round $round: a second bridge has started" wait_until 30 grep -q '^stv is' "$log"
  touch "$order/release"
  wait "${client_pids[1]}"
  touch "$order/ended"
  for pid in "${client_pids[@]}"; do wait "$pid"; done
  client_pids=()
  first=$(tr -d '\r' <"$work/first$round.out")
  second=$(tr -d '\r' <"$work/second$round.out")
  grep '^retried' <<<"$second" | sed "s/^/round $round: /"
  # Node numbers (N here) go on from the calls before.
  check "round $round: the first script made its calls" \
    same "$(printf '%s\n' 'first addNode=N err=0' released=True 'last addNode=N err=0' DONE)" \
         "$(sed 's/addNode=[0-9][0-9]* /addNode=N /' <<<"$first")"
  check "round $round: the second script's steps succeeded" \
    same "$(printf '%s\n' 'CreateObject err=0' 'lock err=0' 'addNode=N err=0' 'unlock err=0' DONE)" \
         "$(grep -v '^retried ' <<<"$second" | sed 's/^addNode=[0-9][0-9]* /addNode=N /')"
  check "round $round: no unlock between the second script's lock and its call" lock_kept "$round"
done
check "after the ten rounds no bridge process is left" bridges_gone "$linger_limit"
show_errors standin

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
