#!/usr/bin/env bash
# Creates a fresh, fully started Wine prefix and prints its path.
# Usage: prefix=$(scripts/wine-prefix.sh [DIR])
set -euo pipefail
dir=${1:-$(mktemp -d /tmp/stava-wine.XXXXXX)}
export WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
# No X display here: Wine's null driver.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w
echo "$WINEPREFIX"
