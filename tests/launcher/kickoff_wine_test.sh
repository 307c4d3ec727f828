#!/usr/bin/env bash
# Runs the real Kickoff.exe under Wine in a fresh prefix of its own: every
# exit code, every result code of the JRE check with its console text and
# message box, and real launches through a JVM (whose java.exe is a link to
# the machine's java) and through a Windows stand-in java.exe.
# Prints PASS or FAIL per case; exits non-zero when any case failed.
#
# Usage: kickoff_wine_test.sh KICKOFF_EXE STANDIN_EXE REGISTRY_DACL_EXE
#                             MSGBOX_CLOSER_EXE WINE_PREFIX_SCRIPT PROBE_JAVA
set -u
if [ $# -ne 6 ]; then
    echo "usage: $0 KICKOFF STANDIN REGISTRY_DACL MSGBOX_CLOSER WINE_PREFIX_SCRIPT PROBE_JAVA" >&2
    exit 2
fi
KICKOFF=$1 STANDIN=$2 DACL=$3 CLOSER=$4 MAKE_PREFIX=$5 PROBE_SRC=$6
source "$(dirname "$MAKE_PREFIX")/wine-lane.sh"
wine_lane_for "$KICKOFF" || exit 1
echo "Wine lane: $STAVA_WINE_LANE"
WINE=$wine
WINESERVER=$wineserver
# The JRE keys go into Kickoff's own registry view: a .reg import through
# the regedit of Kickoff's width.
REGEDIT=regedit
[ "$STAVA_WINE_LANE" != wow64 ] || REGEDIT='C:\windows\syswow64\regedit.exe'
CAPTION='Error: cannot launch program'
USAGE=$'\n usage: Kickoff vNum v2Num mNum exec classpath addargs class launchmethod\n'
BADMETHOD=$'\n launchmethod must be \'W\' for windowed or \'C\' for console applications\n'

failures=0
pass() { echo "PASS: $1"; }
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }

work=$(mktemp -d /tmp/kickoff-wine.XXXXXX)
cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then
        timeout 30 "$WINESERVER" -k >/dev/null 2>&1
        timeout 30 "$WINESERVER" -w >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT

if ! WINEPREFIX=$(timeout 120 bash "$MAKE_PREFIX" "$work"); then
    echo "FAIL: cannot create a Wine prefix"
    exit 1
fi
export WINEPREFIX
# One server for all the runs below: each program then starts in a few tenths.
timeout 30 "$WINESERVER" -p >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c

# The Windows path of a Linux path.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

reg() { lane_reg "$@" >/dev/null 2>&1; }
reg_add() { reg add "$@" /f || fail "reg add $*"; }
set_dacl() { timeout 30 "$WINE" "$DACL" "$1" "$2" >/dev/null 2>&1 || fail "set access list of $1"; }

# Reads $work/out with the carriage returns of text mode removed into $out.
read_out() { out=$(tr -d '\r' <"$work/out"; printf x); out=${out%x}; }

# kickoff ARGS...: runs Kickoff.exe; sets $rc and $out.
kickoff() {
    timeout 60 "$WINE" "$KICKOFF" "$@" >"$work/out" 2>"$work/err"
    rc=$?
    read_out
}

# kickoff_with_box ARGS...: as kickoff, while the message-box helper reads the
# error box and presses OK; sets $box as well.
kickoff_with_box() {
    timeout 60 "$WINE" "$KICKOFF" "$@" >"$work/out" 2>"$work/err" &
    local pid=$!
    box=$(timeout 40 "$WINE" "$CLOSER" "$CAPTION" 2>/dev/null | tr -d '\r')
    wait "$pid"
    rc=$?
    read_out
}

# expect NAME RC TEXT: the last run exited with RC and wrote exactly TEXT.
expect() {
    if [ "$rc" = "$2" ] && [ "$out" = "$3" ]; then
        pass "$1 (exit $rc)"
    else
        fail "$1: exit $rc (want $2), output [$out] (want [$3])"
    fi
}

# expect_contains NAME LINE: the last run's output has the line LINE.
expect_contains() {
    if grep -qxF -- "$2" <<<"$out"; then pass "$1"; else fail "$1: no line [$2] in [$out]"; fi
}

# no_jre NAME MAJOR.MINOR.MICRO ERRORTEXT ARGS...: Kickoff fails the JRE
# check: exit 3, the console line, and the error box with its text.
no_jre() {
    local name=$1 version=$2 error=$3
    shift 3
    kickoff_with_box "$@"
    expect "$name: console text" 3 $'\n'" jre$version not installed ($error)"$'\n'
    local want
    want="BOX CAPTION[$CAPTION]
BOX TEXT[Sun JRE ${version%.*} not properly installed!\\n($error)\\n\\nYou can get JRE from https://www.java.com.]
BOX ICON[shown]
BOX BUTTONS[1:OK]"
    if [ "$box" = "$want" ]; then
        pass "$name: message box"
    else
        fail "$name: message box [$box] (want [$want])"
    fi
}

EXEC='\bin\java.exe'
ARGS7=(1 1 7 "$EXEC" cp "" Main)

echo "== arguments"
kickoff "${ARGS7[@]}"
expect "seven arguments" 2 "$USAGE"
kickoff "${ARGS7[@]}" x extra
expect "nine arguments, launchmethod not looked at" 2 "$USAGE"
kickoff
expect "no arguments" 2 "$USAGE"
kickoff "${ARGS7[@]}" x
expect "launchmethod x" 4 "$BADMETHOD"
kickoff "${ARGS7[@]}" ""
expect "empty launchmethod" 4 "$BADMETHOD"

echo "== JRE check failures (result codes 2 to 7)"
if reg query 'HKLM\SOFTWARE\JavaSoft'; then fail "fresh prefix already has JavaSoft"; fi
no_jre "code 2, no JavaSoft" 1.1.7 "can't open Key 'JavaSoft'" 1 1 7 "$EXEC" cp "" Main C
reg_add 'HKLM\SOFTWARE\JavaSoft'
no_jre "code 3, no Java Runtime Environment" 1.1.7 "can't open Key 'Java Runtime Environment'" \
    1 1 7 "$EXEC" cp "" Main W

# Every other JRE key in one import: each Wine process start costs time.
long=$(printf 'h%.0s' $(seq 119))
home127="C:\\kick\\$long"
home128="${home127}h"
micro127=1$(printf 'x%.0s' $(seq 126))
mkdir -p "$drive_c/kick/jre/bin" "$drive_c/kick/$long/bin" "$work/jvm/bin" "$work/classes" "$work/probe"
cp "$STANDIN" "$drive_c/kick/jre/bin/java.exe"
cp "$STANDIN" "$drive_c/kick/$long/bin/java.exe"
ln -s "$(command -v java)" "$work/jvm/bin/java.exe"
# jre_key VERSION MICRO HOME ('-' leaves a value out), in .reg form.
jre_key() {
    printf '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\%s]\n' "$1"
    if [ "$2" != - ]; then printf '"MicroVersion"="%s"\n' "$2"; fi
    if [ "$3" != - ]; then printf '"JavaHome"="%s"\n' "${3//\\/\\\\}"; fi
}
{
    echo REGEDIT4
    jre_key 5.0 - -
    jre_key 5.1 8 -
    jre_key 6.0 - 'C:\kick\jre'
    jre_key 7.0 8 'C:\kick\jre'
    jre_key 4.1 "$micro127" 'C:\kick\jre'
    jre_key 4.2 "${micro127}x" 'C:\kick\jre'
    jre_key 8.1 1 "$home128"
    jre_key 8.2 1 "$home127"
    jre_key 1.1 8 'C:\kick\jre'
    jre_key 2147483647.2147483647 1 'C:\kick\jre'
    jre_key 17.0 15 "$(winpath "$work/jvm")"
    jre_key 9.9 1 'C:\kick\missing'
} >"$work/jre.reg"
timeout 30 "$WINE" "$REGEDIT" /S "$(winpath "$work/jre.reg")" >/dev/null 2>&1 || fail "regedit import"

no_jre "code 4, version 3.3 not installed" 3.3.7 "can't open Key '3.3'" 3 3 7 "$EXEC" cp "" Main C
no_jre "code 4, longest version key" -2147483648.-2147483648.7 \
    "can't open Key '-2147483648.-2147483648'" -2147483648 -99999999999 7 "$EXEC" cp "" Main C
no_jre "code 5, neither value" 5.0.7 "can't open Key 'JavaHome'" 5 0 7 "$EXEC" cp "" Main C
no_jre "code 5, MicroVersion but no JavaHome" 5.1.7 "can't open Key 'JavaHome'" \
    5 1 7 "$EXEC" cp "" Main C
no_jre "code 5 decides over a low MicroVersion" 5.1.9 "can't open Key 'JavaHome'" \
    5 1 9 "$EXEC" cp "" Main C
no_jre "code 6, JavaHome but no MicroVersion" 6.0.7 "can't open Key 'MicroVersion'" \
    6 0 7 "$EXEC" cp "" Main C
no_jre "code 7, MicroVersion 8 below 9" 7.0.9 "MicroVersion is 8 but at least 9 is required" \
    7 0 9 "$EXEC" cp "" Main C

echo "== registry values at their capacity (127 characters fit, 128 do not)"
no_jre "code 7 with a 127-character MicroVersion" 4.1.9 \
    "MicroVersion is $micro127 but at least 9 is required" 4 1 9 "$EXEC" cp "" Main C
no_jre "code 6 with a 128-character MicroVersion" 4.2.0 "can't open Key 'MicroVersion'" \
    4 2 0 "$EXEC" cp "" Main C
no_jre "code 5 with a 128-character JavaHome" 8.1.1 "can't open Key 'JavaHome'" \
    8 1 1 "$EXEC" cp "" Main C
kickoff 8 2 1 "$EXEC" cp -Dexit=27 Main C
if [ "$rc" = 27 ]; then pass "a 127-character JavaHome launches (exit 27)"; else fail "127-character JavaHome: exit $rc [$out]"; fi
expect_contains "127-character JavaHome on the command line" \
    "STANDIN CMDLINE[$home127\\bin\\java.exe -cp \"cp\" -Dexit=27 Main]"

echo "== console launches of the stand-in java.exe"
rm -f "$drive_c/kick/waited"
kickoff ' 1' 1abc 8 "$EXEC" 'lib\*;a b' '-Dexit=42 -Dsleep=1500 -Dmarker=C:\kick\waited' Main console
if [ "$rc" = 42 ]; then pass "console launch passes on exit code 42"; else fail "console launch: exit $rc (want 42) [$out]"; fi
if [ -e "$drive_c/kick/waited" ]; then
    pass "console launch waited for the program (its marker exists on return)"
else
    fail "console launch returned before the program ended"
fi
expect_contains "command line received, only the class path quoted" \
    'STANDIN CMDLINE[C:\kick\jre\bin\java.exe -cp "lib\*;a b" -Dexit=42 -Dsleep=1500 -Dmarker=C:\kick\waited Main]'
expect_contains "class path arrives as one argument, wildcard untouched" 'STANDIN ARG2[lib\*;a b]'
expect_contains "program output reaches the launcher's console" 'STANDIN END'
for code in 0 7; do
    kickoff 1 1 7 "$EXEC" cp "-Dexit=$code" Main C
    if [ "$rc" = "$code" ]; then pass "console launch passes on exit code $code"; else fail "console exit $rc (want $code)"; fi
done
kickoff 1 1 8 "$EXEC" cp "" Main c
expect_contains "empty addargs leaves two blanks" 'STANDIN CMDLINE[C:\kick\jre\bin\java.exe -cp "cp"  Main]'
longcp=$(printf 'c%.0s' $(seq 600))
kickoff 1 1 8 "$EXEC" "$longcp" "-Dexit=9" Main C
if [ "$rc" = 9 ]; then pass "600-character class path launches (exit 9)"; else fail "long class path: exit $rc"; fi
expect_contains "600-character class path arrives whole" "STANDIN ARG2[$longcp]"
kickoff 2147483647 99999999999 1 "$EXEC" cp -Dexit=5 Main C
if [ "$rc" = 5 ]; then pass "longest version key 2147483647.2147483647 found (exit 5)"; else fail "largest version key: exit $rc [$out]"; fi

echo "== no command interpreter"
ENVKEY='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
reg_add "$ENVKEY" /v ComSpec /d 'C:\kick\nocmd.exe'
kickoff 1 1 7 "$EXEC" cp -Dexit=3 Main C
if [ "$rc" = 255 ] && ! grep -q STANDIN <<<"$out"; then
    pass "console launch without interpreter exits with -1 (seen as 255)"
else
    fail "no interpreter: exit $rc [$out]"
fi
reg_add "$ENVKEY" /v ComSpec /d 'C:\windows\system32\cmd.exe'

# On 64-bit Windows a runtime registers itself only in the view of its own
# width; Kickoff looks in the other view only when a key is missing in its own.
if [ "$STAVA_WINE_LANE" != win32 ]; then
    echo "== registry views of 64-bit Windows"
    if [ "$STAVA_WINE_LANE" = wow64 ]; then own_view=/reg:32 other_view=/reg:64; else own_view=/reg:64 other_view=/reg:32; fi
    jre_in_view() { # view version micro home
        local key="HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\$2"
        timeout 30 "$WINE" reg add "$key" /v MicroVersion /d "$3" /f "$1" </dev/null >/dev/null 2>&1 &&
            timeout 30 "$WINE" reg add "$key" /v JavaHome /d "$4" /f "$1" </dev/null >/dev/null 2>&1 ||
            fail "reg add $key $1"
    }
    mkdir -p "$drive_c/kick/own/bin" "$drive_c/kick/other/bin"
    cp "$STANDIN" "$drive_c/kick/own/bin/java.exe"
    cp "$STANDIN" "$drive_c/kick/other/bin/java.exe"
    jre_in_view "$other_view" 11.0 3 'C:\kick\other'
    jre_in_view "$own_view" 12.0 3 'C:\kick\own'
    jre_in_view "$other_view" 12.0 3 'C:\kick\other'
    jre_in_view "$own_view" 13.0 3 'C:\kick\own'
    jre_in_view "$other_view" 14.0 1 'C:\kick\other'
    kickoff 11 0 2 "$EXEC" cp -Dexit=21 Main C
    if [ "$rc" = 21 ]; then pass "runtime only in the other view launches (exit 21)"; else fail "other view only: exit $rc [$out] [$(tr -d '\r' <"$work/err")]"; fi
    expect_contains "runtime of the other view on the command line" \
        'STANDIN CMDLINE[C:\kick\other\bin\java.exe -cp "cp" -Dexit=21 Main]'
    kickoff 12 0 2 "$EXEC" cp -Dexit=22 Main C
    if [ "$rc" = 22 ]; then pass "runtime in both views launches (exit 22)"; else fail "both views: exit $rc [$out] [$(tr -d '\r' <"$work/err")]"; fi
    expect_contains "the own view wins" 'STANDIN CMDLINE[C:\kick\own\bin\java.exe -cp "cp" -Dexit=22 Main]'
    kickoff 13 0 2 "$EXEC" cp -Dexit=23 Main C
    if [ "$rc" = 23 ]; then pass "runtime only in the own view launches (exit 23)"; else fail "own view only: exit $rc [$out] [$(tr -d '\r' <"$work/err")]"; fi
    expect_contains "runtime of the own view on the command line" \
        'STANDIN CMDLINE[C:\kick\own\bin\java.exe -cp "cp" -Dexit=23 Main]'
    no_jre "too old in the other view: the own view's text" 14.0.5 "can't open Key '14.0'" \
        14 0 5 "$EXEC" cp "" Main C
fi

echo "== access asked for: KEY_QUERY_VALUE below SOFTWARE, KEY_READ on SOFTWARE"
for key in 'SOFTWARE\JavaSoft' 'SOFTWARE\JavaSoft\Java Runtime Environment' \
           'SOFTWARE\JavaSoft\Java Runtime Environment\1.1'; do
    # Deny enumerating and notifying (in KEY_READ, not in KEY_QUERY_VALUE).
    set_dacl "$key" 'D:(D;;0x18;;;WD)(A;;KA;;;WD)'
done
kickoff 1 1 7 "$EXEC" cp -Dexit=11 Main C
if [ "$rc" = 11 ]; then pass "deeper keys need only KEY_QUERY_VALUE (exit 11)"; else fail "query-only keys: exit $rc [$out]"; fi
set_dacl 'SOFTWARE' 'D:(D;;0x10;;;WD)(A;;KA;;;WD)'
no_jre "code 1, SOFTWARE cannot be opened for reading" 1.1.7 "can't open Key 'SOFTWARE'" \
    1 1 7 "$EXEC" cp "" Main C
set_dacl 'SOFTWARE' 'D:(A;;KA;;;WD)'

# Last: a Linux JVM started through Wine ends Wine's desktop process, and a
# message box shown next races its restart.

echo "== windowed and console launches of a real JVM"
if ! timeout 90 javac -d "$work/classes" "$PROBE_SRC"; then fail "javac"; fi
# Wine's command interpreter does not wait for a Linux program, so the JVM's
# line may arrive after the launcher ended: wait for it, bounded.
timeout 60 "$WINE" "$KICKOFF" 17 0 15 "$EXEC" "$work/classes" -Dkickoff.mode=console KickoffProbe C \
    >"$work/jvm.out" 2>"$work/err"
rc=$?
if [ "$rc" = 0 ]; then pass "console JVM launch exit 0"; else fail "console JVM launch exit $rc"; fi
for _ in $(seq 300); do grep -q PROBE "$work/jvm.out" && break; sleep 0.1; done
out=$(tr -d '\r' <"$work/jvm.out")
expect_contains "JVM output in the launcher's console" "PROBE running on Java 17 mode=console"
kickoff 17 0 15 "$EXEC" "$work/classes" "-Dkickoff.mode=windowed -Dkickoff.dir=$work/probe" KickoffProbe W
expect "windowed JVM launch returns at once" 0 ""
for _ in $(seq 300); do [ -e "$work/probe/started" ] && break; sleep 0.1; done
if [ -e "$work/probe/started" ] && [ ! -e "$work/probe/done" ]; then
    pass "the JVM runs on after the launcher returned"
else
    fail "windowed JVM: started=$([ -e "$work/probe/started" ] && echo yes || echo no)"
fi
touch "$work/probe/go"
for _ in $(seq 300); do [ -e "$work/probe/done" ] && break; sleep 0.1; done
if [ -e "$work/probe/done" ]; then pass "the windowed JVM finished its work"; else fail "windowed JVM never finished"; fi
kickoff 9 9 1 "$EXEC" cp "" Main Windowed
expect "windowed start of a missing java.exe fails" 1 ""

echo "(${SECONDS} s)"
if [ "$failures" -eq 0 ]; then
    echo "ALL PASSED"
    exit 0
fi
echo "$failures FAILED"
exit 1
