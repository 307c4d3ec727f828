#!/usr/bin/env bash
# Checks Windows programs as they are shipped: each needs only DLLs that
# come with Windows (its import tables), carries the release's version in
# its version information, and, with --stripped, holds no symbols or debug
# information. Used by ctest on each Windows build and by scripts/release.sh
# on the release builds.
# Usage: programs_test.sh [--stripped] OBJDUMP WINDRES VERSION PROGRAM.exe...
set -uo pipefail
stripped=false
if [ "${1:-}" == --stripped ]; then stripped=true; shift; fi
objdump=$1 windres=$2 version=$3
shift 3
[ $# -gt 0 ] || { echo "FAIL: no programs given"; exit 1; }

# DLLs of every Windows installation that the programs may import.
system_dlls=" advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll ws2_32.dll "

failures=0
passes=0
check() { # name, command...
  local name=$1; shift
  if "$@"; then
    echo "PASS: $name"; passes=$((passes + 1))
  else
    echo "FAIL: $name"; failures=$((failures + 1))
  fi
}

# Every DLL named by the import and delay-import tables of $1.
imported_dlls() {
  "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u
}
only_system_dlls() { # program
  local dlls dll ok=0
  dlls=$(imported_dlls "$1")
  [ -n "$dlls" ] || { echo "no import table in $1"; return 1; }
  for dll in $dlls; do
    [[ $system_dlls == *" $dll "* ]] || { echo "$1 imports $dll"; ok=1; }
  done
  return $ok
}
# The version information as windres prints it.
version_info() { "$windres" -i "$1" -O rc 2>/dev/null | sed -n '/VERSIONINFO/,$p'; }
has_version() { # program
  local info text=${version//./, }
  info=$(version_info "$1")
  grep -qx " FILEVERSION $text" <<<"$info" &&
    grep -qx " PRODUCTVERSION $text" <<<"$info" &&
    grep -qF "VALUE \"FileVersion\", \"$text\"" <<<"$info" &&
    grep -qF "VALUE \"ProductVersion\", \"$text\"" <<<"$info" ||
    { printf 'version information of %s:\n%s\n' "$1" "$info"; return 1; }
}
no_debug_information() { # program
  local sections
  sections=$("$objdump" -h "$1" | awk '$2 ~ /^\.(debug|zdebug)/ { print $2 }')
  [ -z "$sections" ] || { echo "$1 has $(echo $sections)"; return 1; }
}
no_symbols() { # program
  "$objdump" -t "$1" | grep -qx "no symbols"
}

for program in "$@"; do
  name=$(basename "$program")
  check "$name exists" test -s "$program" || continue
  check "$name imports only system DLLs ($(imported_dlls "$program" | tr '\n' ' '))" \
    only_system_dlls "$program"
  check "$name carries version $version" has_version "$program"
  if $stripped; then
    check "$name has no debug information" no_debug_information "$program"
    check "$name has no symbol table" no_symbols "$program"
  fi
  echo "size of $name: $(stat -c %s "$program") octets"
done

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
