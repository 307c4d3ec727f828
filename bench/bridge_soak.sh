#!/usr/bin/env bash
# The bridge under Wine, driven by a VBScript client through one Model
# object, with the native application stand-in on loopback.
#
#   bash bench/bridge_soak.sh [--bench] [CALLS] [BRIDGE.exe STAVA-STANDIN]
#
# Soak (default): CALLS calls (default 100000) of bench/bridge_soak.vbs;
# prints the bridge process's resident set (VmRSS of its Linux process)
# after a warm-up and after every tenth of the calls, and fails when a call
# did not end as expected, or when the set grew by 1 MiB or more from the
# 10% sample to the last one, with the largest rise between neighbouring
# samples counted as the median rise: the set of a sound bridge now and then
# rises once by about 1 MiB, while a leak grows on over every tenth.
# --bench: three rounds of CALLS addNode calls (default 2000) against as
# many isValid calls, which the bridge answers without the application
# (bench/bridge_bench.vbs); prints the medians in microseconds per call and
# the share of addNode that the way through the ORB to the application
# takes, (addNode - isValid) / addNode.
# Without BRIDGE.exe and STAVA-STANDIN it builds both (Release): the
# stand-in in build/bench (or $STAVA_BENCH_BUILD), the x86_64 bridge in
# build/bench-win64 (or $STAVA_BENCH_WIN64_BUILD).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
client_pid=
# Stops the client, this run's own prefix (never another one) and the rest.
cleanup() {
  [[ -z $client_pid ]] || kill "$client_pid" 2>/dev/null || true
  [[ ${WINEPREFIX:-} != "$bench_work"/* ]] || "$wineserver" -k >/dev/null 2>&1 || true
  bench_cleanup
}
trap cleanup EXIT

mode=soak
count=
paths=()
for arg in "$@"; do
  case $arg in
    --bench) mode=bench ;;
    *[!0-9]*) paths+=("$arg") ;;
    '') ;;
    *) count=$arg ;;
  esac
done
usage() { echo "usage: $0 [--bench] [CALLS] [BRIDGE.exe STAVA-STANDIN]" >&2; exit 2; }
[[ ${#paths[@]} -eq 0 || ${#paths[@]} -eq 2 ]] || usage
if [[ $mode == soak ]]; then
  count=${count:-100000}
  ((count >= 1000)) || usage
else
  count=${count:-2000}
  ((count >= 100)) || usage
fi

if [[ ${#paths[@]} -eq 2 ]]; then
  bridge=${paths[0]} standin=${paths[1]}
else
  build=${STAVA_BENCH_BUILD:-$bench_root/build/bench}
  win64=${STAVA_BENCH_WIN64_BUILD:-$bench_root/build/bench-win64}
  bench_build "$build" stava-standin
  cmake -S "$bench_root" --preset bench-win64 -B "$win64" >/dev/null
  cmake --build "$win64" -j2 --target StavaAutomationBridge >/dev/null
  bridge=$win64/bridge/StavaAutomationBridge.exe standin=$build/standin/stava-standin
fi
[[ -f $bridge && -x $standin ]] || { echo "no bridge at $bridge or no stand-in at $standin" >&2; exit 1; }

# Wine's ANSI code page follows the locale.
export LC_ALL=C
# The Wine harness of the script tests: the bridge's lane, a prefix of this
# run's own in $bench_work, the bounded Wine runs and the bridge's settings.
work=$bench_work root=$bench_root exe=$bridge client_dir=$bench_root/bench
source "$bench_root/tests/bridge/wine_harness.sh"

# Long enough for the slowest run on a loaded machine.
bench_start_standin "$standin" "$bench_work/ref" 3600 2>>"$bench_work/standin.err"
bridge_settings "$bench_work/ref" "$bench_work/bridge.log"
w "$bridge" /RegServer || { echo "FAIL: /RegServer" >&2; exit 1; }

# The Linux process of this prefix's bridge (other prefixes may run one too).
bridge_pid() {
  local pid
  pid=$(bridge_pids | head -n 1) || true
  [[ -n $pid ]] && echo "$pid"
}
rss_kb() { awk '$1 == "VmRSS:" { print $2 }' "/proc/$1/status"; }

# Runs the soak client; at each "AT <point>" line it reads the bridge's
# resident set and lets the client go on. Every wait ends with the client,
# which stops by itself: at the latest after 60 s at a point, and by timeout.
soak() {
  local out=$bench_work/soak.out sync=$bench_work/sync point pid line seen=0
  local -A rss=()
  mkdir "$sync"
  : >"$out"
  timeout 3600 "$wine" cscript //nologo "$(script bridge_soak.vbs)" "$count" \
    "$(winpath "$sync")" >"$out" 2>/dev/null &
  client_pid=$!
  local started=$SECONDS
  while kill -0 "$client_pid" 2>/dev/null || ((seen < $(sed -n '/^AT /p' "$out" | wc -l))); do
    line=$(tr -d '\r' <"$out" | sed -n '/^AT /p' | sed -n "$((seen + 1))p")
    if [[ -z $line ]]; then
      sleep 0.1
      continue
    fi
    point=${line#AT }
    pid=$(bridge_pid) && rss[$point]=$(rss_kb "$pid") || rss[$point]=
    touch "$sync/$point"
    seen=$((seen + 1))
  done
  wait "$client_pid" || true
  client_pid=
  local seconds=$((SECONDS - started))
  tr -d '\r' <"$out" | grep -v '^AT ' || true
  local client_seconds
  client_seconds=$(tr -d '\r' <"$out" | sed -n 's/^SECONDS //p')
  echo "BRIDGE-SOAK calls=$count run=${seconds}s calls-timed=${client_seconds}s" \
    "us/call=$(awk -v s="${client_seconds:-0}" -v n="$count" 'BEGIN { printf "%.1f", s * 1e6 / n }')"
  local samples="warm-up ${rss[warmup]:-?}" tenth
  for tenth in 10 20 30 40 50 60 70 80 90 100; do samples+=", $tenth% ${rss[$tenth]:-?}"; done
  echo "BRIDGE-SOAK VmRSS kB: $samples"
  tr -d '\r' <"$out" | grep -qx DONE || { echo "FAIL: the client did not finish its calls"; return 1; }
  local rises=() sorted growth
  for tenth in 10 20 30 40 50 60 70 80 90 100; do
    [[ -n ${rss[$tenth]:-} ]] || { echo "FAIL: no resident set of the bridge at $tenth%"; return 1; }
    ((tenth == 10)) || rises+=($((rss[$tenth] - rss[$((tenth - 10))])))
  done
  mapfile -t sorted < <(printf '%s\n' "${rises[@]}" | sort -n)
  # The largest of the nine rises counts only as much as the median one.
  growth=$((rss[100] - rss[10] - sorted[8] + sorted[4]))
  echo "BRIDGE-SOAK growth 10%..100% $((rss[100] - rss[10])) kB; with its largest rise" \
    "(${sorted[8]} kB) counted as the median one (${sorted[4]} kB): $growth kB (limit 1024)"
  ((growth < 1024)) || { echo "FAIL: the bridge's resident set grew by $growth kB"; return 1; }
}

# Runs the timing client and prints the medians of its rounds.
bench() {
  local out=$bench_work/bench.out
  timeout 1800 "$wine" cscript //nologo "$(script bridge_bench.vbs)" "$count" 3 \
    2>/dev/null | tr -d '\r' >"$out" || true
  grep -qx DONE "$out" || { cat "$out"; echo "FAIL: the timing client did not finish"; return 1; }
  awk -v n="$count" '
    function median(v, k,    i, j, t) {
      for (i = 2; i <= k; ++i)
        for (j = i; j > 1 && v[j - 1] > v[j]; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
      return k % 2 ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
    }
    $1 == "ADDNODE" { a[++na] = $2; rounds = rounds sprintf(" %.0f", $2) }
    $1 == "ISVALID" { b[++nb] = $2; rounds = rounds sprintf("/%.0f", $2) }
    END {
      printf "BRIDGE-BENCH rounds, addNode/isValid us/call:%s\n", rounds
      add = median(a, na); valid = median(b, nb)
      printf "BRIDGE-BENCH %d calls each, median of %d rounds: addNode %.1f us/call, isValid %.1f us/call," \
             " ORB and application share of addNode %.0f%%\n", n, na, add, valid, 100 * (add - valid) / add
    }' "$out"
}

"$mode"
