#!/usr/bin/env bash
# Soak test of our ORB: builds the soak program and the application stand-in
# (Release, no sanitizers; in build/bench, which bench/run.sh uses too, or in
# $STAVA_BENCH_BUILD) and makes CALLS two-way calls (default 1000000) to the
# stand-in on loopback, in the blocking model and, with --reactive, in the
# reactive model too. Prints the resident-set samples; fails when one of the
# runs grew by 1 MiB or more, or a call went wrong.
#
#   bash bench/soak.sh [CALLS] [--reactive]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
trap bench_cleanup EXIT

calls=1000000
models=(blocking)
for arg in "$@"; do
  case $arg in
    --reactive) models+=(reactive) ;;
    *[!0-9]* | '') echo "usage: $0 [CALLS] [--reactive]" >&2; exit 2 ;;
    *) calls=$arg ;;
  esac
done

build=${STAVA_BENCH_BUILD:-$bench_root/build/bench}
bench_build "$build" stava-standin stava-soak-orb
# Long enough for a million calls in either model on a loaded machine.
bench_start_standin "$build/standin/stava-standin" "$bench_work/ref" 1800

status=0
for model in "${models[@]}"; do
  "$build/bench/stava-soak-orb" "$bench_work/ref" "$calls" "$model" || status=1
done
exit $status
