# Which Wine runs a test's Windows programs, and how; source it from bash.
#
# Three lanes:
#   win64  x86_64 programs in a 64-bit prefix;
#   win32  i686 programs in a 32-bit prefix (WINEARCH=win32), with the
#          32-bit tools and script host;
#   wow64  i686 programs in a 64-bit prefix, driven by the 64-bit script
#          host and tools, as on 64-bit Windows: their registry settings
#          are in the 32-bit view, so `reg` adds /reg:32.
# STAVA_WINE_LANE names the lane; unset, `wine_lane_for PROGRAM` takes it
# from the program's machine type (i686 runs in win32).

wineserver=/usr/lib/wine/wineserver

# The machine type of a PE file: i686, x86_64 or empty.
pe_machine() { # path
  local offset machine
  offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || return 0
  machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  case $machine in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
  esac
}

# Sets the lane's variables and exports what Wine needs: wine (what runs
# the tools and the script host: the lane's loader, STAVA_WINE_LOADER,
# through scripts/wine-fixed-layout.sh), WINEARCH and STAVA_WINE_LANE.
wine_lane() { # lane
  case $1 in
    win64) STAVA_WINE_LOADER=/usr/lib/wine/wine64; WINEARCH=win64; reg_view=() ;;
    win32) STAVA_WINE_LOADER=/usr/lib/wine/wine; WINEARCH=win32; reg_view=() ;;
    wow64) STAVA_WINE_LOADER=/usr/lib/wine/wine64; WINEARCH=win64; reg_view=(/reg:32) ;;
    *) echo "unknown Wine lane '$1'" >&2; return 1 ;;
  esac
  STAVA_WINE_LANE=$1
  wine=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-fixed-layout.sh
  export STAVA_WINE_LANE STAVA_WINE_LOADER WINEARCH WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  [ -x "$STAVA_WINE_LOADER" ] ||
    { echo "$STAVA_WINE_LOADER is missing (scripts/install-deps.sh installs it)" >&2; return 1; }
}

# The lane for a program: STAVA_WINE_LANE where set, else by its machine.
wine_lane_for() { # program
  local lane=${STAVA_WINE_LANE:-}
  if [ -z "$lane" ]; then
    case $(pe_machine "$1") in
      i686) lane=win32 ;;
      *) lane=win64 ;;
    esac
  fi
  wine_lane "$lane"
}

# reg.exe of the lane, in the view that the programs under test read.
lane_reg() { # reg arguments...
  timeout 60 "$wine" reg "$@" "${reg_view[@]}" </dev/null
}
