#!/usr/bin/env bash
# Installs what is needed, builds the three targets and runs every test:
# native (AddressSanitizer + UndefinedBehaviorSanitizer), every fuzzer for a
# bounded time (FUZZ_SECONDS, default 45), part of them under valgrind, a
# soak of our ORB, then the Windows x86_64 build under Wine and a soak of the
# bridge there. The i686 release build is built and linked only.
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
build build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
  -DSTAVA_STANDIN="$root/build/native/standin/stava-standin"
build build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DSTAVA_TESTS=OFF

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

echo "== Windows x86_64 tests under Wine"
WINEPREFIX=$(bash scripts/wine-prefix.sh)
export WINEPREFIX WINEDEBUG=-all
ctest --test-dir build/win64 --output-on-failure || status=1
/usr/lib/wine/wineserver -k || true
rm -rf "$(dirname "$WINEPREFIX")"

# In a prefix of its own; a call through COM under Wine takes milliseconds,
# so 10000 calls, enough for a leak of about 100 octets per call to show.
echo "== soak: calls through the bridge under Wine"
bash bench/bridge_soak.sh 10000 build/win64/bridge/StavaAutomationBridge.exe \
  build/bench/standin/stava-standin || status=1
exit $status
