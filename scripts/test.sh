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
build() { # dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}
build build/native -DSTAVA_SANITIZE=ON
# The Windows end-to-end tests drive the native application stand-in.
build build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw.cmake -DSTAVA_MINGW_PROCESSOR=x86_64 \
  -DSTAVA_STANDIN="$root/build/native/standin/stava-standin"
build build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw.cmake -DSTAVA_MINGW_PROCESSOR=i686 \
  -DSTAVA_STANDIN="$root/build/native/standin/stava-standin"

status=0
echo "== native tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/native --output-on-failure -j "$jobs" || status=1

echo "== fuzzers, ${FUZZ_SECONDS:-45} s each"
FUZZ_SECONDS=${FUZZ_SECONDS:-45} bash fuzz/run.sh || status=1

echo "== valgrind: native unit tests without sanitizers"
bash scripts/valgrind.sh || status=1

echo "== soak: a million calls through our ORB in each concurrency model"
bash bench/soak.sh 1000000 --reactive || status=1

# Every Windows test of a build in one lane (scripts/wine-lane.sh): the
# unit-test programs in a prefix of the lane, the script tests in prefixes
# of their own.
wine_lane_tests() { # lane, build dir
  local prefix rc=0
  echo "== Windows tests under Wine, lane $1 ($2)"
  prefix=$(STAVA_WINE_LANE=$1 bash scripts/wine-prefix.sh) || { echo "no Wine prefix"; return 1; }
  STAVA_WINE_LANE=$1 WINEPREFIX=$prefix WINEDEBUG=-all \
    ctest --test-dir "$2" --output-on-failure || rc=1
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
