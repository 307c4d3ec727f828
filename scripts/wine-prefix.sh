#!/usr/bin/env bash
# Creates a fresh, fully started Wine prefix and prints its path: 32-bit in
# the win32 lane, 64-bit otherwise (STAVA_WINE_LANE, scripts/wine-lane.sh).
# Wine's output goes to DIR/wine-prefix.log; when a step fails, that file is
# shown on standard error, with the step and its exit status.
# Usage: prefix=$(scripts/wine-prefix.sh [DIR])
set -euo pipefail
source "$(dirname "$0")/wine-lane.sh"
wine_lane "${STAVA_WINE_LANE:-win64}"
dir=${1:-$(mktemp -d /tmp/stava-wine.XXXXXX)}
export WINEPREFIX="$dir/prefix"
log=$dir/wine-prefix.log
: >"$log"
# Runs one step of the creation, bounded; on failure shows why and stops.
run() { # command...
  local rc=0
  echo "+ $*" >>"$log"
  timeout 300 "$@" </dev/null >>"$log" 2>&1 || rc=$?
  [ "$rc" -eq 0 ] && return 0
  {
    echo "wine-prefix.sh: '$*' failed with exit status $rc (lane $STAVA_WINE_LANE, prefix $WINEPREFIX); Wine's output:"
    sed 's/^/  /' "$log"
  } >&2
  exit 1
}
run "$wine" wineboot -i
run "$wineserver" -w
# No X display here: Wine's null driver.
run "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
run "$wineserver" -w
echo "$WINEPREFIX"
