#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own, in the lane of the i686
# programs (win32 or, with STAVA_WINE_LANE=wow64, a 64-bit prefix): a silent
# install with the defaults (its log folder made writable for every user),
# an upgrade in place with paths from the command line, the end-to-end
# VBScript against the installed bridge and the native
# application stand-in, an upgrade while the bridge serves a script, the
# example script of README-Windows.txt, and silent uninstalls, plainly and
# by the waiting recipe of README-Windows.txt, after which the registry and
# the disk are as before the first install; then README-Windows.txt's
# registration and unregistration by hand.
# Usage: install_test.sh SETUP.exe SHIPPED_DIR STAVA-STANDIN
set -uo pipefail
setup=$1
shipped=$2
standin=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ ! -s "$setup" ]; then
  echo "FAIL: no installer at $setup (makensis is in Debian's nsis: scripts/install-deps.sh)"
  exit 1
fi
# Wine's ANSI code page follows the locale; methods.vbs's labels are 1252.
export LC_ALL=C
work=$(mktemp -d /tmp/stava-install.XXXXXX)
standin_pid=
holder_pid=
cleanup() {
  [ -z "$holder_pid" ] || kill "$holder_pid" 2>/dev/null
  stop_pid "$standin_pid"
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

exe=$shipped/StavaAutomationBridge.exe
client_dir=$root/tests/bridge/e2e
source "$root/tests/bridge/wine_harness.sh"
case $STAVA_WINE_LANE in
  win32) program_files='Program Files' ;;
  wow64) program_files='Program Files (x86)' ;;
  *) echo "FAIL: the installer is for 32-bit programs, not lane $STAVA_WINE_LANE"; exit 1 ;;
esac
drive_c=$WINEPREFIX/drive_c
dir=$drive_c/$program_files/StavaAutomationBridge
windir="C:\\$program_files\\StavaAutomationBridge"
version=$(sed -n 's/^ *FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' \
  "$root/bridge/StavaAutomationBridge.rc")
settings='HKLM\SOFTWARE\StavaAutomationBridge'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\StavaAutomationBridge'
clsid='{9414E262-0AB6-11D2-B13D-0000C0BAD3E5}'
appid='{356386B1-0AC2-11D2-B13D-0000C0BAD3E5}'
libid='{356386B0-0AC2-11D2-B13D-0000C0BAD3E5}'
iid='{356386BD-0AC2-11D2-B13D-0000C0BAD3E5}'

# As the server test does: keys are looked up in the view that the
# programs use (the 32-bit one on 64-bit Windows), except the ProgIDs,
# which lie in the part of HKCR that both views share, where a 64-bit
# client looks. A key counts as removed only when neither view has it.
views_of() { # key: the views to look in
  case $1 in
    'HKCR\StavaAutomationBridge.Model'*) echo native ;;
    *) echo "${reg_view[*]:-native}" ;;
  esac
}
query() { # key, reg query arguments...: the output of the first view that has it
  local view views=${QUERY_VIEWS:-}
  [ -n "$views" ] || views=$(views_of "$1")
  local out rc
  for view in $views; do
    [ "$view" == native ] && view=
    out=$(timeout 60 "$wine" reg query "$@" $view </dev/null 2>"$work/reg.out") &&
      { printf '%s\n' "$out"; return 0; }
    rc=$?
    # reg names what it did not find on its standard output.
    note_failed_read "reg query $* $view" "$rc" "$out" "$work/reg.out"
  done
  return 1
}
has_key() { query "$1" >/dev/null; }
lacks_key() { ! QUERY_VIEWS="${reg_view[*]} native" has_key "$1"; }
value_of() { # key, value name ('' = default): its data
  local out data found=true args=(/ve)
  [ -z "$2" ] || args=(/v "$2")
  out=$(query "$1" "${args[@]}") || found=false
  data=$(sed -n 's/^    .*    REG_[A-Z_]*    //p' <<<"${out//$'\r'/}")
  # query keeps its failed runs; a run that succeeded without the data too.
  ! $found || [ -n "$data" ] || note_failed_read "reg query $1 ${args[*]}" 0 "$out" /dev/null
  printf '%s\n' "$data"
}
value_is() { same "$3" "$(value_of "$1" "$2")"; }
file_lines_are() { # file, expected lines (each ended by CR LF in the file)
  same "$(printf '%s\r\n' "${@:2}")" "$(cat "$1" 2>/dev/null)"
}
# Runs an installer or uninstaller to its end; its exit code in $rc and its
# duration in $took (seconds, two decimals).
timed() { # program arguments...
  local start end
  start=$(date +%s%N)
  timeout 120 "$wine" "$@" </dev/null >/dev/null 2>"$work/timed.err"
  rc=$?
  end=$(date +%s%N)
  took=$(printf '%d.%02d' $(((end - start) / 1000000000)) $((((end - start) / 10000000) % 100)))
}
# The icacls runs of the last `timed` run. Wine's icacls changes nothing,
# but with WINEDEBUG=fixme+icacls it names its arguments on the error
# output (backslashes doubled), whatever its standard handles are.
icacls_runs() { grep -a 'fixme:icacls:main stub: ' "$work/timed.err"; }
users_may_write() { # folder, as icacls names it
  icacls_runs | grep -qF "\"$1\" \"/grant\" \"*S-1-5-32-545:(OI)(CI)M\"" ||
    { echo "no grant for the Users group on $1 among:"; icacls_runs; return 1; }
}
rights_untouched() { # part of a folder's name
  ! icacls_runs | grep -F "$1"
}
default_log_folder='C:\\ProgramData\\StavaAutomationBridge'
# Runs a VBScript or batch file of the test's own.
# Its error output goes to $work/vbs.err, which explain shows after a failure.
vbs() { timeout 90 "$wine" cscript //nologo "$(winpath "$1")" "${@:2}" 2>"$work/vbs.err" | tr -d '\r'; }
batch() { timeout 120 "$wine" cmd /c "$(winpath "$1")" </dev/null >/dev/null 2>&1; }

# The files that Wine processes run from, in the program folder: which
# copy of the bridge a running process executes, read from its mappings.
running_images() {
  local maps
  for maps in /proc/[0-9]*/maps; do
    grep -o "$dir/[^ ]*" "$maps" 2>/dev/null | sort -u
  done | sed "s|^$dir/||" | sort -u | tr '\n' ' ' | sed 's/ $//'
}

# What the registry and drive C: hold, for comparison after the uninstall.
snapshot() { # name
  timeout 60 "$wine" reg export 'HKLM\SOFTWARE' "$(winpath "$work/$1.reg")" /y </dev/null >/dev/null 2>&1
  iconv -f UTF-16LE -t UTF-8 "$work/$1.reg" | tr -d '\r' > "$work/$1.registry"
  (cd "$drive_c" && find . -path ./windows -prune -o -path '*/Temp' -prune -o -print | sort) \
    > "$work/$1.files"
}
unchanged_since() { # name of the snapshot, kind (registry or files)
  diff "$work/$1.$2" "$work/now.$2" >"$work/diff" && return 0
  head -n 40 "$work/diff"
  return 1
}

# Each installed program is the shipped one; the folder holds nothing else.
installed_files_ok() {
  local f
  same "Kickoff.exe README-Windows.txt StavaAutomationBridge.exe uninstall.exe" \
       "$(cd "$dir" && ls | tr '\n' ' ' | sed 's/ $//')" || return 1
  for f in StavaAutomationBridge.exe Kickoff.exe README-Windows.txt; do
    cmp -s "$shipped/$f" "$dir/$f" || { echo "$f differs from the shipped one"; return 1; }
  done
}
# The keys that the bridge's /RegServer writes, as the server test checks
# them, with the installed executable as the local server.
registered() {
  local ok=0
  value_is 'HKCR\StavaAutomationBridge.Model.1\CLSID' '' "$clsid" || ok=1
  value_is 'HKCR\StavaAutomationBridge.Model\CurVer' '' 'StavaAutomationBridge.Model.1' || ok=1
  value_is 'HKCR\StavaAutomationBridge.Model\CLSID' '' "$clsid" || ok=1
  value_is "HKCR\\CLSID\\$clsid" '' 'Model Class' || ok=1
  value_is "HKCR\\CLSID\\$clsid" AppID "$appid" || ok=1
  value_is "HKCR\\CLSID\\$clsid\\LocalServer32" '' "\"$windir\\StavaAutomationBridge.exe\"" || ok=1
  has_key "HKCR\\CLSID\\$clsid\\Programmable" || { echo "no Programmable"; ok=1; }
  value_is "HKCR\\AppID\\$appid" '' 'StavaAutomationBridge' || ok=1
  value_is 'HKCR\AppID\StavaAutomationBridge.EXE' AppID "$appid" || ok=1
  value_is "HKCR\\TypeLib\\$libid\\1.0" '' 'StavaAutomationBridge 1.0 Typbibliothek' || ok=1
  has_key "HKCR\\Interface\\$iid\\TypeLib" || { echo "no interface key"; ok=1; }
  return $ok
}
# After the uninstall: what registration wrote is gone, the shared roots stay.
unregistered() {
  local key ok=0
  for key in 'HKCR\StavaAutomationBridge.Model.1' 'HKCR\StavaAutomationBridge.Model' \
             "HKCR\\CLSID\\$clsid" "HKCR\\AppID\\$appid" 'HKCR\AppID\StavaAutomationBridge.EXE' \
             "HKCR\\TypeLib\\$libid" "HKCR\\Interface\\$iid"; do
    lacks_key "$key" || { echo "$key is left"; ok=1; }
  done
  has_key 'HKCR\CLSID' && has_key 'HKCR\AppID' || { echo "a shared root went"; ok=1; }
  return $ok
}
uninstall_entry_ok() {
  value_is "$uninstall_key" DisplayName 'Stava Automation Bridge' &&
    value_is "$uninstall_key" DisplayVersion "$version" &&
    value_is "$uninstall_key" InstallLocation "$windir" &&
    value_is "$uninstall_key" UninstallString "\"$windir\\uninstall.exe\"" &&
    value_is "$uninstall_key" QuietUninstallString "\"$windir\\uninstall.exe\" /S"
}
versions_ok() { # both installed programs, read by Windows' own version API
  cat > "$work/version.vbs" <<'VBS'
Set fso = CreateObject("Scripting.FileSystemObject")
WScript.Echo fso.GetFileVersion(WScript.Arguments(0) & "\StavaAutomationBridge.exe")
WScript.Echo fso.GetFileVersion(WScript.Arguments(0) & "\Kickoff.exe")
WScript.Echo "DONE"
VBS
  same "$(printf '%s\n' "$version" "$version" DONE)" "$(vbs "$work/version.vbs" "$windir")"
}
gone() { [ ! -e "$1" ] || { echo "$1 is left"; return 1; }; }
settle() { prefix_idle || { echo "prefix still busy"; return 1; }; }

# methods.vbs's expectations, read from the end-to-end test that owns them.
eval "$(sed -n -e '/^methods_calls=(/,/^)/p' -e '/^bad_param=/p' -e '/^methods_output=(/,/^)/p' \
  "$root/tests/bridge/e2e_test.sh")"
require "methods.vbs's expectations read from e2e_test.sh" \
  test "${#methods_calls[@]}" -gt 20 -a "${#methods_output[@]}" -gt 10
ref=$work/stv.ref
calls=$work/calls.txt
calls_base=0
mark_calls() { calls_base=$(wc -l < "$calls" 2>/dev/null || echo 0); }
calls_are() { same "$(printf '%s\n' "$@")" "$(tail -n +"$((calls_base + 1))" "$calls" 2>/dev/null)"; }

# Wine's script host registers its own type library at its first run: let
# that happen before the snapshot.
printf 'Set fso = CreateObject("Scripting.FileSystemObject")\nWScript.Echo "DONE"\n' > "$work/warm.vbs"
require "the script host runs" same DONE "$(vbs "$work/warm.vbs")"
settle >/dev/null
snapshot before
echo "installer: $(basename "$setup"), $(stat -c %s "$setup") octets; lane $STAVA_WINE_LANE"

# --- A silent install refuses a log folder that does not exist ---------------
timed "$setup" /S '/LOGFILE=C:\no such folder\bridge.log'
check "a missing log folder: exit code 2" test "$rc" -eq 2
check "a missing log folder: nothing installed" gone "$dir"
check "a missing log folder: no settings written" lacks_key "$settings"

# --- A first install, silent, with the defaults ------------------------------
WINEDEBUG=-all,fixme+icacls timed "$setup" /S
echo "first install: $took s"
require "silent install exits with 0" test "$rc" -eq 0
check "every user may write in the log folder that the installer made" \
  users_may_write "$default_log_folder"
check "program folder holds the shipped files" installed_files_ok
check "both programs carry version $version (GetFileVersion)" versions_ok
check "default refFile" value_is "$settings" refFile 'C:\stv.ref'
check "default logFile" value_is "$settings" logFile 'C:\ProgramData\StavaAutomationBridge\bridge.log'
# A registration run neither reads the reference file nor calls the
# application: its log holds only its first and last line.
check "registration run logged into the default log folder" \
  file_lines_are "$drive_c/ProgramData/StavaAutomationBridge/bridge.log" \
    "bridge startup" "bridge shutdown"
check "registration keys written" registered
check "uninstall entry" uninstall_entry_ok
check "nothing left running" settle

# --- Upgrade in place with paths on the command line -------------------------
mkdir -p "$work/log dir"
log=$work/log\ dir/bridge.log
"$standin" --ref "$ref" --calls "$calls" --giop 1.2 --port 0 --max-seconds 900 \
  2>>"$work/standin.err" &
standin_pid=$!
require "stand-in publishes a reference" wait_for_file "$ref" 30
# Quoted as a whole, as Wine (and many programs) pass an argument with blanks.
WINEDEBUG=-all,fixme+icacls \
  timed "$setup" /S "/REFFILE=$(winpath "$ref")" "/LOGFILE=$(winpath "$log")"
echo "upgrade with paths: $took s"
check "upgrade exits with 0" test "$rc" -eq 0
check "upgrade: the installer's log folder stays writable for every user" \
  users_may_write "$default_log_folder"
check "upgrade: the rights of a log folder of the user's own are left alone" \
  rights_untouched 'log dir'
check "upgrade: program folder holds the shipped files" installed_files_ok
check "refFile from the command line" value_is "$settings" refFile "$(winpath "$ref")"
check "logFile with a blank from the command line" value_is "$settings" logFile "$(winpath "$log")"
check "the log moved: the old one is deleted" gone "$drive_c/ProgramData/StavaAutomationBridge/bridge.log"
check "registration run logged where the installer's settings say" \
  file_lines_are "$log" "bridge startup" "bridge shutdown"
check "registration run sent nothing to the application" calls_are
check "upgrade: registration keys" registered
check "upgrade: uninstall entry" uninstall_entry_ok
settle >/dev/null

# --- The end-to-end script against the installed bridge ----------------------
mark_calls
out=$(client methods.vbs)
check "methods.vbs: Null label refused as a type mismatch" grep -q '^setNodeLabel(Null) err=D ' <<<"$out"
out=$(grep -v '^setNodeLabel(Null) \|^desc=Type mismatch' <<<"$out")
check "methods.vbs: fifteen methods, results and errors as expected" \
  same "$(printf '%s\n' "${methods_output[@]}")" "$out"
# The bridge's final unlock arrives as it ends: wait for the end first.
check "methods.vbs: the installed bridge ends after the last release" settle
check "methods.vbs: the application received exactly these calls" calls_are "${methods_calls[@]}"
check "methods.vbs: the log is where the installer put it" \
  test "$(head -n 1 "$log" | tr -d '\r')" == "bridge startup" -a \
       "$(tail -n 1 "$log" | tr -d '\r')" == "bridge shutdown"

# --- An upgrade while the bridge serves a script -----------------------------
sync=$work/sync
mkdir -p "$sync"
start_holder() {
  rm -f "$sync"/*
  timeout 240 "$wine" cscript //nologo "$(script holder.vbs)" "$(winpath "$sync")" \
    > "$work/holder.out" 2>"$work/holder.err" &
  holder_pid=$!
  wait_for_file "$sync/held" 60
}
end_holder() {
  touch "$sync/release"
  wait "$holder_pid"
  holder_pid=
}
mark_calls
require "a script holds an object of the installed bridge" start_holder
check "the serving bridge runs from the installed file" \
  same "StavaAutomationBridge.exe" "$(running_images)"
# As typed at a command prompt: the value quoted after the '='.
cat > "$work/upgrade.bat" <<BAT
"$(winpath "$setup")" /S /REFFILE=$(winpath "$ref") /LOGFILE="$(winpath "$log")"
exit %ERRORLEVEL%
BAT
start=$(date +%s%N)
batch "$work/upgrade.bat"; rc=$?
echo "upgrade while a script is served: $(( ($(date +%s%N) - start) / 1000000 )) ms"
check "upgrade beside a serving bridge exits with 0" test "$rc" -eq 0
check "the new files are in place, the serving copy renamed aside" \
  same "Kickoff.exe README-Windows.txt StavaAutomationBridge.exe StavaAutomationBridge.exe.old1 uninstall.exe" \
       "$(cd "$dir" && ls | tr '\n' ' ' | sed 's/ $//')"
check "the installed bridge is the shipped one" \
  cmp -s "$shipped/StavaAutomationBridge.exe" "$dir/StavaAutomationBridge.exe"
check "the serving bridge goes on from the renamed copy" \
  same "StavaAutomationBridge.exe.old1" "$(running_images)"
check "the settings written with the quoted log path" value_is "$settings" logFile "$(winpath "$log")"
check "registration keys after the upgrade beside a serving bridge" registered
out=$(client reach.vbs)
check "a second script is served beside the first" \
  same "$(printf '%s\n' 'CreateObject= err=0' 'addNode=5 err=0' 'lock= err=0' DONE)" "$out"
check "the script that was served through the upgrade ends well" end_holder
check "its calls before and after the upgrade worked" \
  same "$(printf '%s\n' 'first addNode=4 err=0' 'released=True' 'last addNode=6 err=0' DONE)" \
       "$(tr -d '\r' < "$work/holder.out")"
check "the old bridge ends after its last client" settle
# The upgrade's registration run sends nothing, so the first script's lock
# state is kept; the old bridge's own final unlock comes at its end.
check "the application got every call of both scripts" \
  calls_are 'addNode 0 0 -> 4' 'addNode 7 -7 -> 5' 'lock' 'addNode 0 1 -> 6' 'unlock'
mark_calls
require "the next start: a script holds an object again" start_holder
check "the next start runs the new file" same "StavaAutomationBridge.exe" "$(running_images)"
check "it serves" end_holder
check "its calls worked" \
  same "$(printf '%s\n' 'first addNode=7 err=0' 'released=True' 'last addNode=8 err=0' DONE)" \
       "$(tr -d '\r' < "$work/holder.out")"
settle >/dev/null

# --- The example of README-Windows.txt ---------------------------------------
sed -n '/^    On Error Resume Next/,/^    Set m = Nothing/p' "$dir/README-Windows.txt" |
  tr -d '\r' | sed 's/^    //' > "$work/frame.vbs"
echo 'WScript.Echo "DONE"' >> "$work/frame.vbs"
mark_calls
out=$(vbs "$work/frame.vbs")
check "README-Windows.txt's example runs" same "$(printf '%s\n' 'connected: 1' DONE)" "$out"
settle >/dev/null
check "README-Windows.txt's example reached the application" \
  calls_are 'addNode 0 0 -> 9' 'addNode 4 0 -> 10' 'addEBBeam 9 10 -> 3' 'setBeamLabel 3 "girder"' \
    'setConstraints 9 true true false' 'setForces 10 0 -10 0' 'unlock'

# --- Silent uninstall --------------------------------------------------------
reg add "$settings" /v callTimeout /t REG_DWORD /d 5000 /f >/dev/null
timed "$dir/uninstall.exe" /S
# It returns at once and goes on from a copy of itself.
check "uninstall.exe /S exits with 0" test "$rc" -eq 0
start=$(date +%s%N)
check "the uninstall ends" settle
echo "uninstall: $took s to return, $(( ($(date +%s%N) - start) / 1000000 )) ms more to end"
check "registration keys removed, shared roots kept" unregistered
check "settings key removed, callTimeout with it" lacks_key "$settings"
check "uninstall entry removed" lacks_key "$uninstall_key"
check "program folder removed" gone "$dir"
check "the log removed" gone "$log"
check "the default log folder removed" gone "$drive_c/ProgramData/StavaAutomationBridge"
check "the application's reference file left alone" test -s "$ref"
snapshot now
check "the registry is as before the first install" unchanged_since before registry
check "drive C: is as before the first install" unchanged_since before files

# --- Install again, uninstall by README-Windows.txt's waiting recipe ---------
timed "$setup" /S
check "reinstall exits with 0" test "$rc" -eq 0
check "reinstall: registration keys" registered
settle >/dev/null
sed -n '/^    set DIR=/,/^    del /p' "$dir/README-Windows.txt" | tr -d '\r' | sed 's/^    //' |
  sed "s|^set DIR=.*|set DIR=${windir//\\/\\\\}|" > "$work/uninstall.bat"
batch "$work/uninstall.bat"; rc=$?
# No waiting here: the recipe returns when the uninstall is done.
check "the waiting recipe exits with 0" test "$rc" -eq 0
check "the waiting recipe: program folder removed when it returns" gone "$dir"
check "the waiting recipe: registration keys removed" unregistered
check "the waiting recipe: settings key removed" lacks_key "$settings"
check "the waiting recipe: uninstall entry removed" lacks_key "$uninstall_key"
settle >/dev/null
snapshot now
check "the registry is as before the first install, again" unchanged_since before registry
check "drive C: is as before the first install, again" unchanged_since before files

# --- README-Windows.txt's registration by hand, from a folder with blanks ----
# Its lines as a batch file, run in the folder of the copied bridge; in the
# wow64 lane with /reg:32 added to each reg command, as it says for the
# 32-bit bridge on 64-bit Windows.
by_hand="$drive_c/by hand"
mkdir -p "$by_hand"
cp "$shipped/StavaAutomationBridge.exe" "$by_hand/"
readme_lines() { # first line's pattern, last line's pattern
  sed -n "/^    $1/,/^    $2/p" "$shipped/README-Windows.txt" | tr -d '\r' | sed 's/^    //'
}
lane_regs() { if [ "$STAVA_WINE_LANE" == wow64 ]; then sed 's|^reg .*|& /reg:32|'; else cat; fi; }
{
  echo 'cd /d "C:\by hand"'
  readme_lines 'reg add .* refFile' 'echo %errorlevel%' | lane_regs
} > "$work/register.bat"
{
  echo 'cd /d "C:\by hand"'
  readme_lines 'start \/wait "" StavaAutomationBridge.exe \/UnregServer' 'echo %errorlevel%'
  readme_lines 'reg delete "HKCR\\TypeLib' 'reg delete "HKCR\\Interface'
  [ "$STAVA_WINE_LANE" != wow64 ] ||
    readme_lines 'reg delete "HKCR\\TypeLib' 'reg delete "HKCR\\Interface' | lane_regs
} > "$work/unregister.bat"
echo "README-Windows.txt by hand:"; sed 's/^/  /' "$work/register.bat" "$work/unregister.bat"
output_of() { timeout 120 "$wine" cmd /c "$(winpath "$1")" </dev/null 2>/dev/null | tr -d '\r'; }
out=$(output_of "$work/register.bat")
check "by hand: start /wait gives /RegServer's result 0" \
  same 0 "$(grep -x -- '-\?[0-9][0-9]*' <<<"$out")"
check "by hand: the server's path in quotes" \
  value_is "HKCR\\CLSID\\$clsid\\LocalServer32" '' '"C:\by hand\StavaAutomationBridge.exe"'
check "by hand: the log's setting" \
  value_is "$settings" logFile 'C:\ProgramData\StavaAutomationBridge\bridge.log'
by_hand_log=$drive_c/ProgramData/StavaAutomationBridge/bridge.log
check "by hand: the registration run wrote the log in the folder made for it" \
  test "$(head -n 1 "$by_hand_log" | tr -d '\r')" == "bridge startup" -a \
       "$(tail -n 1 "$by_hand_log" | tr -d '\r')" == "bridge shutdown"
settle >/dev/null
out=$(output_of "$work/unregister.bat")
check "by hand: start /wait gives /UnregServer's result 0" \
  same 0 "$(grep -x -- '-\?[0-9][0-9]*' <<<"$out")"
check "by hand: /UnregServer and the two reg delete lines remove every key" unregistered

stop_pid "$standin_pid"; standin_pid=
if [ -s "$work/standin.err" ]; then
  echo "stand-in's error output:"; cat "$work/standin.err"
fi
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
