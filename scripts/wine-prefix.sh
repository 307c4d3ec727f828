#!/usr/bin/env bash
# Creates a fresh, fully started Wine prefix and prints its path: 32-bit in
# the win32 lane, 64-bit otherwise (STAVA_WINE_LANE, scripts/wine-lane.sh).
# Usage: prefix=$(scripts/wine-prefix.sh [DIR])
set -euo pipefail
source "$(dirname "$0")/wine-lane.sh"
wine_lane "${STAVA_WINE_LANE:-win64}"
dir=${1:-$(mktemp -d /tmp/stava-wine.XXXXXX)}
export WINEPREFIX="$dir/prefix"
"$wine" wineboot -i </dev/null >/dev/null 2>&1
"$wineserver" -w
# No X display here: Wine's null driver.
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
"$wineserver" -w
echo "$WINEPREFIX"
