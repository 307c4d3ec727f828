#!/usr/bin/env bash
# Installs what is needed, builds the three targets and runs every test:
# native (AddressSanitizer + UndefinedBehaviorSanitizer), every fuzzer for a
# bounded time (FUZZ_SECONDS, default 45), part of them under valgrind, a
# soak of our ORB, then the Windows tests in three Wine lanes (the x86_64
# build; the i686 release build in a 32-bit prefix; the i686 build in a
# 64-bit prefix, as on 64-bit Windows) and a soak of each bridge build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh

jobs=$(nproc)
# The presets in CMakePresets.json: build/native, build/win64, build/win32.
build() { # preset
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}
build native
# The Windows end-to-end tests drive the native application stand-in.
build win64
build win32

status=0
echo "== native tests"
ctest --preset native -j "$jobs" || status=1

echo "== fuzzers, ${FUZZ_SECONDS:-45} s each"
FUZZ_SECONDS=${FUZZ_SECONDS:-45} bash fuzz/run.sh || status=1

echo "== valgrind: native unit tests without sanitizers"
bash scripts/valgrind.sh || status=1

echo "== soak: a million calls through our ORB in each concurrency model"
bash bench/soak.sh 1000000 --reactive || status=1

# Every Windows test of a build in one lane (scripts/wine-lane.sh): the
# unit-test programs in a prefix of the lane, the script tests in prefixes
# of their own. The lane's test preset names the lane and its build.
wine_lane_tests() { # lane, its build dir (for the heading)
  local prefix rc=0
  echo "== Windows tests under Wine, lane $1 ($2)"
  prefix=$(STAVA_WINE_LANE=$1 bash scripts/wine-prefix.sh) || { echo "no Wine prefix"; return 1; }
  WINEPREFIX=$prefix ctest --preset "$1" || rc=1
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k || true
  rm -rf "$(dirname "$prefix")"
  return $rc
}
wine_lane_tests win64 build/win64 || status=1
wine_lane_tests win32 build/win32 || status=1
wine_lane_tests wow64 build/win32 || status=1

# In a prefix of its own; a call through COM under Wine takes milliseconds,
# so 10000 calls, enough for a leak of about 100 octets per call to show.
for bridge in build/win64 build/win32; do
  echo "== soak: calls through the bridge ($bridge) under Wine"
  bash bench/bridge_soak.sh 10000 "$bridge/bridge/StavaAutomationBridge.exe" \
    build/bench/standin/stava-standin || status=1
done
exit $status
