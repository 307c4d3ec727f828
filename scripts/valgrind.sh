#!/usr/bin/env bash
# Runs a representative part of the native unit tests under valgrind's
# memcheck: CDR and sequences, guarded strings and buffers, exceptions,
# references and IORs, TypeCodes and Any, ORB set-up, GIOP with its workers,
# transports, connector and reactor, the controller stub (against a scripted
# peer and against the application stand-in), the bridge's portable core and
# objects whose construction fails.
# Builds them without sanitizers (RelWithDebInfo) in build/valgrind, or in
# $STAVA_VALGRIND_BUILD. Death tests are skipped: they end in an abort on
# purpose. Prints one line per executable; fails on any valgrind error
# (invalid access, uninitialised value, definite or indirect leak) or
# failing test.
#
#   bash scripts/valgrind.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${STAVA_VALGRIND_BUILD:-$root/build/valgrind}
tests=(basic_test cdr_test sequence_test except_test ior_test typecode_test any_test orb_test
       orbconfig_test giop_test worker_test transport_test connector_test reactor_test
       timer_test request_id_test util_test net_test boa_test stub_test stub_standin_test
       bridge_core_test launcher_test construction_test)

command -v valgrind >/dev/null || { echo "valgrind (Debian package valgrind) is missing" >&2; exit 1; }
cmake -S "$root" --preset valgrind -B "$build" >/dev/null
cmake --build "$build" -j2 --target "${tests[@]}" >/dev/null

logs=$(mktemp -d /tmp/stava-valgrind.XXXXXX)
trap 'rm -rf "$logs"' EXIT
status=0
for t in "${tests[@]}"; do
  exe=$(find "$build/tests" -name "$t" -type f -perm -u+x | head -n 1)
  [[ -n $exe ]] || { echo "FAIL $t: not built"; status=1; continue; }
  start=$SECONDS
  # Each executable is bounded; the longest takes about a minute here.
  # construction_test brings its own operator new (it makes allocations
  # fail on purpose): memcheck watches the C library's malloc beneath it
  # instead of replacing it.
  if timeout 600 valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --soname-synonyms=somalloc=nouserintercepts \
      --log-file="$logs/$t.vg" "$exe" --gtest_filter=-*Death* --gtest_brief=1 >"$logs/$t.out" 2>&1; then
    rc=0
  else
    rc=$?
  fi
  summary=$(sed -n 's/^==[0-9]*== ERROR SUMMARY: \([0-9]*\) errors.*/\1 valgrind errors/p' "$logs/$t.vg" | tail -n 1)
  tests_line=$(grep -m1 '^\[  PASSED  \]\|^\[  FAILED  \]' "$logs/$t.out" || echo "no gtest summary")
  if ((rc == 0)); then
    echo "PASS $t: ${summary:-?}, $tests_line ($((SECONDS - start)) s)"
  else
    echo "FAIL $t: exit $rc, ${summary:-?}, $tests_line ($((SECONDS - start)) s)"
    sed -n '/^==[0-9]*== [A-Z].*\(Invalid\|uninitialised\|definitely\|indirectly\|Mismatched\|overlap\)/,/^==[0-9]*== $/p' \
      "$logs/$t.vg" | head -n 60 || true
    # In brief mode the output holds only the failed tests' messages.
    head -n 80 "$logs/$t.out" || true
    status=1
  fi
done
exit $status
