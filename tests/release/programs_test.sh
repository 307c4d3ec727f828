#!/usr/bin/env bash
# Checks Windows programs as they are shipped: each needs only DLLs that
# come with Windows (its import tables), carries the release's version in
# its version information and an application manifest, and, with
# --stripped, holds no symbols or debug information. Used by ctest on each
# Windows build and by scripts/release.sh on the release builds.
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
# The application manifest (resource 1 of type 24) as text, from the
# strings in which windres prints it.
manifest_of() { # program
  "$windres" -i "$1" -O rc 2>/dev/null | sed -n '/^1 24 /,/^END/p' |
    sed -n 's/^ *"\(.*\)"$/\1/p' | tr -d '\n' | sed 's/""/"/g; s/\\n/\n/g'
}
# Windows 7, 8, 8.1, and 10 and 11.
supported_os="35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38
  1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"
# Runs as invoked (no elevation, no virtualisation of its writes), names
# Windows 7 to 11, and depends on the common controls only if it shows a
# window (Kickoff's message box).
has_manifest() { # program
  local manifest id ok=0 windowed=false
  manifest=$(manifest_of "$1")
  [ -n "$manifest" ] || { echo "$1 has no manifest resource"; return 1; }
  grep -qF '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$manifest" ||
    { echo "not asInvoker"; ok=1; }
  for id in $supported_os; do
    grep -qF "<supportedOS Id=\"{$id}\"/>" <<<"$manifest" || { echo "no supportedOS $id"; ok=1; }
  done
  [ "$(basename "$1")" != Kickoff.exe ] || windowed=true
  if grep -qF 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$manifest"; then
    $windowed || { echo "a common-controls dependency without a window"; ok=1; }
  else
    ! $windowed || { echo "no common-controls dependency for its message box"; ok=1; }
  fi
  [ $ok -eq 0 ] || printf 'manifest of %s:\n%s\n' "$1" "$manifest"
  return $ok
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
  check "$name carries an asInvoker manifest for Windows 7 to 11" has_manifest "$program"
  if $stripped; then
    check "$name has no debug information" no_debug_information "$program"
    check "$name has no symbol table" no_symbols "$program"
  fi
  echo "size of $name: $(stat -c %s "$program") octets"
done

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
