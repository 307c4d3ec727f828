#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build/fuzz and runs each for a
# bounded time on a copy of its seed corpus. Fails on any crash, leak, hang
# or sanitizer report; prints one summary line per harness.
#
#   fuzz/run.sh [HARNESS...]      (default: all of them)
#   FUZZ_SECONDS=60               run time per harness
#   FUZZ_BUILD=build/fuzz         build directory
set -u

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FUZZ_BUILD:-$ROOT/build/fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}
ALL=(ior giop_reply sysexc typecode_any orbconfig regscript reffile launcher)
[ $# -gt 0 ] && HARNESSES=("$@") || HARNESSES=("${ALL[@]}")

targets=()
for h in "${HARNESSES[@]}"; do
    [ -d "$ROOT/fuzz/corpus/$h" ] || { echo "fuzz: no harness '$h'" >&2; exit 2; }
    targets+=("${h}_fuzz")
done

# The preset fuzz (clang, STAVA_FUZZ), in $BUILD.
cmake -S "$ROOT" --preset fuzz -B "$BUILD" >/dev/null || exit 1
cmake --build "$BUILD" -j2 --target "${targets[@]}" || exit 1

# Every leak counts; UBSan stops at the first report (compiled in as well).
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failures=0
for h in "${HARNESSES[@]}"; do
    work="$BUILD/run/$h"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    cp -R "$ROOT/fuzz/corpus/$h/." "$work/corpus/"
    log="$work/fuzz.log"
    # A unit counts as hung after 30 s: on a loaded machine a sound one can
    # be held up for seconds. Slow units are only reported, not failures.
    "$BUILD/fuzz/${h}_fuzz" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=30 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" >"$log" 2>&1
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    if [ $rc -ne 0 ] || [ -z "$execs" ] ||
       grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: ' "$log" ||
       [ -n "$(find "$work/artifacts" -type f ! -name 'slow-unit-*')" ]; then
        failures=$((failures + 1))
        echo "fuzz: $h FAILED (exit $rc, ${execs:-?} executions); log $log"
        grep -E 'ERROR:|runtime error:|SUMMARY:|Test unit written|does not survive' "$log" | head -n 10
    else
        echo "fuzz: $h ok, ${execs:-?} executions in ${SECONDS_EACH} s (${cov:-cov: ?})"
    fi
done
echo "fuzz: ${#HARNESSES[@]} harnesses, $failures failed"
[ $failures -eq 0 ]
