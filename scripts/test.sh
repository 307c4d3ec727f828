#!/usr/bin/env bash
# Installs what is needed, builds the three targets and runs every test:
# native (AddressSanitizer + UndefinedBehaviorSanitizer), every fuzzer for a
# bounded time (FUZZ_SECONDS, default 45), part of them under valgrind, a
# soak of our ORB, then the Windows tests in three Wine lanes (the x86_64
# build; the i686 release build in a 32-bit prefix; the i686 build in a
# 64-bit prefix, as on 64-bit Windows) and a soak of each bridge build.
# Each step prints its time; the end, a table of them and the total.
#
# What waits more than it computes runs beside something else: the bridge
# soaks beside the fuzzers (which run for a fixed time), the ORB soak beside
# valgrind, and the three Wine lanes at once (each has its own prefixes and
# wineservers). Output of a step that runs beside another goes to a file and
# is printed whole when the step ends, step by step.
#
# Part of it, for one lane or test (names are ctest -R patterns):
#   scripts/test.sh [--lane LANE]... [--repeat N] [--no-build] [TEST...]
# LANE is native, win64, win32 or wow64 (default: all four); only the builds
# that the lanes need are brought up to date (none with --no-build; no
# install, fuzzers, valgrind or soaks), and the tests run N times (default
# 1), the Wine lanes of a run at once, each run reported; the end says how
# many runs of each lane passed and failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

usage() { echo "usage: $0 [--lane native|win64|win32|wow64]... [--repeat N] [--no-build] [TEST...]" >&2; exit 2; }
lanes=()
repeat=
tests=()
no_build=false
while [ $# -gt 0 ]; do
  case $1 in
    --lane) [ $# -ge 2 ] || usage; lanes+=("$2"); shift 2 ;;
    --repeat) [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || usage; repeat=$2; shift 2 ;;
    --no-build) no_build=true; shift ;;
    -*) usage ;;
    *) tests+=("$1"); shift ;;
  esac
done
for lane in "${lanes[@]}"; do
  case $lane in native | win64 | win32 | wow64) ;; *) usage ;; esac
done
partial=false
[ ${#lanes[@]} -eq 0 ] && [ -z "$repeat" ] && [ ${#tests[@]} -eq 0 ] && ! $no_build || partial=true
[ ${#lanes[@]} -gt 0 ] || lanes=(native win64 win32 wow64)
repeat=${repeat:-1}

jobs=$(nproc)
logs=$(mktemp -d /tmp/stava-test.XXXXXX)
trap 'rm -rf "$logs"' EXIT
started=$SECONDS
times=()
status=0
steps_passed=0
steps_failed=0

# Counts a step's result and leaves its exit status in step_rc.
count_step() { # exit status
  step_rc=$1
  if [ "$1" -eq 0 ]; then
    steps_passed=$((steps_passed + 1))
  else
    steps_failed=$((steps_failed + 1)) status=1
  fi
}
# Runs a step in the foreground: its heading, its output, its time. Its
# exit status is left in step_rc.
step() { # name, command...
  local name=$1 begin=$SECONDS rc=0 result=ok
  shift
  echo "== $name"
  "$@" || rc=$?
  count_step "$rc"
  [ "$rc" -eq 0 ] || result="FAILED (exit $rc)"
  times+=("$(printf '%6d s  %s: %s' $((SECONDS - begin)) "$name" "$result")")
  echo "-- $name: $result, $((SECONDS - begin)) s"
}
# Starts a step in the background, its output in a file of its own, and
# its time in another.
declare -A begun_pid begun_log
begun_steps=0
begin_step() { # name, command...
  local name=$1 file
  shift
  begun_steps=$((begun_steps + 1))
  file=$logs/step$begun_steps
  begun_log[$name]=$file
  (
    begin=$SECONDS rc=0
    "$@" || rc=$?
    echo $((SECONDS - begin)) >"$file.time"
    exit $rc
  ) >"$file.log" 2>&1 </dev/null &
  begun_pid[$name]=$!
}
# Waits for a step started by begin_step and prints its output whole. Its
# exit status is left in step_rc.
end_step() { # name
  local name=$1 file=${begun_log[$1]} rc=0 result=ok took
  wait "${begun_pid[$name]}" || rc=$?
  count_step "$rc"
  took=$(cat "$file.time" 2>/dev/null || echo '?')
  echo "== $name"
  cat "$file.log"
  [ "$rc" -eq 0 ] || result="FAILED (exit $rc)"
  # Background steps overlap: their times add up to more than the total.
  times+=("$(printf '%6s s  %s: %s (beside others)' "$took" "$name" "$result")")
  echo "-- $name: $result, $took s"
}

# The presets in CMakePresets.json: build/native, build/win64, build/win32.
build() { # preset
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

# Every Windows test of a build in one lane (scripts/wine-lane.sh): the
# unit-test programs in a prefix of the lane, the script tests in prefixes
# of their own. The lane's test preset names the lane and its build.
# Arguments after the lane go to ctest.
wine_lane_tests() { # lane, ctest arguments...
  local lane=$1 prefix rc=0
  shift
  prefix=$(STAVA_WINE_LANE=$lane bash scripts/wine-prefix.sh) || { echo "no Wine prefix"; return 1; }
  WINEPREFIX=$prefix ctest --preset "$lane" "$@" || rc=1
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k || true
  rm -rf "$(dirname "$prefix")"
  return $rc
}

# The tests of the given lanes: native in the foreground, then the Wine
# lanes at once, each printed whole when it ends, lane by lane. Adds to
# lane_passed and lane_failed. Arguments after -- go to ctest.
declare -A lane_passed lane_failed
count_lane() { # lane: counts the last step's result
  if [ "$step_rc" -eq 0 ]; then
    lane_passed[$1]=$((${lane_passed[$1]:-0} + 1))
  else
    lane_failed[$1]=$((${lane_failed[$1]:-0} + 1))
  fi
}
run_lanes() { # title, lane..., --, ctest arguments...
  local title=$1 lane native=false
  local -a wine_lanes=()
  shift
  while [ "$1" != -- ]; do
    if [ "$1" == native ]; then native=true; else wine_lanes+=("$1"); fi
    shift
  done
  shift
  if $native; then
    step "${title}native tests" ctest --preset native -j "$jobs" "$@"
    count_lane native
  fi
  for lane in "${wine_lanes[@]}"; do
    begin_step "${title}Windows tests under Wine, lane $lane" wine_lane_tests "$lane" "$@"
  done
  for lane in "${wine_lanes[@]}"; do
    end_step "${title}Windows tests under Wine, lane $lane"
    count_lane "$lane"
  done
}
print_times() {
  echo "== times"
  printf '%s\n' "${times[@]}"
  printf '%6d s  total\n' $((SECONDS - started))
  echo "steps: $steps_passed passed, $steps_failed failed"
}

if $partial; then
  # The builds that the lanes need: the stand-in (native) for every lane.
  needed=(native)
  for lane in "${lanes[@]}"; do
    case $lane in
      win64) needed+=(win64) ;;
      win32 | wow64) needed+=(win32) ;;
    esac
  done
  $no_build && needed=()
  for preset in $(printf '%s\n' "${needed[@]}" | awk '!seen[$0]++'); do
    step "build $preset" build "$preset"
  done
  [ "$status" -eq 0 ] || { print_times; exit 1; }
  filter=()
  [ ${#tests[@]} -eq 0 ] || filter=(-R "$(IFS='|'; echo "${tests[*]}")")
  for run in $(seq "$repeat"); do
    run_lanes "run $run of $repeat: " "${lanes[@]}" -- "${filter[@]}"
  done
  print_times
  for lane in "${lanes[@]}"; do
    echo "lane $lane: ${lane_passed[$lane]:-0} passed, ${lane_failed[$lane]:-0} failed"
  done
  exit $status
fi

step "install" bash scripts/install-deps.sh
step "build native" build native
# The Windows end-to-end tests drive the native application stand-in.
step "build win64" build win64
step "build win32" build win32
[ "$status" -eq 0 ] || { echo "a build failed"; print_times; exit 1; }

run_lanes "" native --

# The soaks check memory, not time: they may share the machine. In a prefix
# of its own; a call through COM under Wine takes milliseconds, so 10000
# calls, enough for a leak of about 100 octets per call to show.
bridge_soaks() {
  local bridge rc=0
  { cmake --preset bench >/dev/null && cmake --build --preset bench -j "$jobs" --target stava-standin >/dev/null; } || return 1
  for bridge in build/win64 build/win32; do
    echo "== soak: calls through the bridge ($bridge) under Wine"
    bash bench/bridge_soak.sh 10000 "$bridge/bridge/StavaAutomationBridge.exe" \
      build/bench/standin/stava-standin || rc=1
  done
  return $rc
}
begin_step "soak: the bridge under Wine" bridge_soaks
step "fuzzers, ${FUZZ_SECONDS:-45} s each" env FUZZ_SECONDS="${FUZZ_SECONDS:-45}" bash fuzz/run.sh
end_step "soak: the bridge under Wine"

begin_step "soak: a million calls through our ORB in each concurrency model" \
  bash bench/soak.sh 1000000 --reactive
step "valgrind: native unit tests without sanitizers" bash scripts/valgrind.sh
end_step "soak: a million calls through our ORB in each concurrency model"

run_lanes "" win64 win32 wow64 --
print_times
exit $status
