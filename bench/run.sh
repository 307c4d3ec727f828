#!/usr/bin/env bash
# Builds the benchmarks (Release, no sanitizers) in build/bench, starts the
# application stand-in on loopback and runs every benchmark against it in
# one go, so that the ratios hold on a noisy machine; prints one table.
# The call benchmarks run in ROUNDS interleaved rounds (default 5); each
# figure in the table is the median of its rounds.
#
#   bash bench/run.sh [ROUNDS]
set -euo pipefail

rounds=${1:-5}
[[ $rounds =~ ^[1-9][0-9]?$ ]] || { echo "usage: $0 [ROUNDS 1..99]" >&2; exit 2; }
source "$(dirname "$0")/lib.sh"
trap bench_cleanup EXIT
build=$bench_root/build/bench
bench_build "$build" stava-standin stava-bench-orb stava-bench-omni stava-bench-floor \
  stava-bench-marshal
# It stops by itself at the latest after 10 minutes.
bench_start_standin "$build/standin/stava-standin" "$bench_work/ref" 600
work=$bench_work

bin=$build/bench
out=$work/out
clients=("stava-bench-floor" "stava-bench-orb blocking" "stava-bench-orb reactive" "stava-bench-omni")
{
  # Each round starts with the next client, so no client always runs first.
  for ((r = 0; r < rounds; ++r)); do
    for ((i = 0; i < ${#clients[@]}; ++i)); do
      read -r program model <<<"${clients[(r + i) % ${#clients[@]}]}"
      "$bin/$program" "$work/ref" $model
    done
  done
  "$bin/stava-bench-marshal" "$work/ref"
} >"$out"

awk -v rounds="$rounds" '
  # Median of the k values v[c, 1..k] (sorted in place).
  function median(v, c, k,    i, j, t) {
    for (i = 2; i <= k; ++i)
      for (j = i; j > 1 && v[c, j - 1] > v[c, j]; --j) {
        t = v[c, j]; v[c, j] = v[c, j - 1]; v[c, j - 1] = t
      }
    return k % 2 ? v[c, (k + 1) / 2] : (v[c, k / 2] + v[c, k / 2 + 1]) / 2
  }
  $1 == "CALL" {
    if (!($2 in runs)) name[++n] = $2
    r = ++runs[$2]
    m3[$2, r] = $3; m4[$2, r] = $4; m5[$2, r] = $5; alloc[$2] = $6
  }
  $1 == "OCTETS" { octets = sprintf("request %d octets, reply %d octets", $3, $5) }
  $1 == "MARSHAL" { mname[++m] = $2; ns[$2] = $3; malloc_[$2] = $4 }
  END {
    for (i = 1; i <= n; ++i) {
      c = name[i]
      med[c] = median(m3, c, runs[c]); p99[c] = median(m4, c, runs[c]); cps[c] = median(m5, c, runs[c])
    }
    printf "addNode(1.5, -2), two-way, one connection, loopback (%s); median of %d rounds\n\n", octets, rounds
    printf "| client | median us | p99 us | calls/s | allocations/call |\n"
    printf "|---|---:|---:|---:|---:|\n"
    for (i = 1; i <= n; ++i)
      printf "| %s | %.2f | %.2f | %.0f | %.2f |\n", name[i], med[name[i]], p99[name[i]], cps[name[i]], alloc[name[i]]
    printf "\n| ratio | median | p99 | calls/s |\n|---|---:|---:|---:|\n"
    for (i = 1; i <= n; ++i) {
      c = name[i]
      if (c !~ /^ours-/) continue
      printf "| %s / floor | %.2f | %.2f | %.2f |\n", c, med[c] / med["floor"], p99[c] / p99["floor"], cps[c] / cps["floor"]
      # Against the bare server only the floor client compares.
      if (c ~ /@bare-server$/) continue
      printf "| %s / omniORB | %.2f | %.2f | %.2f |\n", c, med[c] / med["omniORB"], p99[c] / p99["omniORB"], cps[c] / cps["omniORB"]
    }
    printf "\nMarshalling alone (our ORB)\n\n| operation | ns/op | allocations/op |\n|---|---:|---:|\n"
    for (i = 1; i <= m; ++i)
      printf "| %s | %.1f | %.2f |\n", mname[i], ns[mname[i]], malloc_[mname[i]]
  }' "$out"
