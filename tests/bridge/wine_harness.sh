# What the Wine script tests of the bridge (and bench/bridge_soak.sh) share;
# source it from bash after setting `work` (the test's temporary directory,
# removed by its cleanup), `root` (the repository) and `client_dir` (the
# folder of its VBScript clients), `exe` (the bridge under test). It makes a
# Wine prefix of the test's own inside $work, in the bridge's lane
# (scripts/wine-lane.sh), counts PASS and FAIL lines, bounds every Wine run
# and every wait, and holds the helpers around the bridge's settings, the
# application stand-in and its call log, the bridge's log, and scenarios.

# Stops a process of ours by its id: SIGTERM, then SIGKILL after 10 s.
stop_pid() { # pid
  [ -n "$1" ] || return 0
  kill -TERM "$1" 2>/dev/null
  local i
  for i in $(seq 50); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.2
  done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
# The end of a test's cleanup (its EXIT trap, set before the harness is
# sourced, so defined first): the stand-in, the prefix's processes, $work.
end_test() {
  stop_pid "${standin_pid:-}"
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work"
}

source "$root/scripts/wine-lane.sh"
wine_lane_for "$exe" || exit 1
echo "Wine lane: $STAVA_WINE_LANE"

# The prefix lies in $work, so that the cleanup removes it. A failed
# creation is not tried again: wine-prefix.sh has shown its cause.
export WINEPREFIX=$work/wine/prefix
mkdir "$work/wine" &&
  bash "$root/scripts/wine-prefix.sh" "$work/wine" >/dev/null ||
  { echo "FAIL: no Wine prefix"; exit 1; }

failures=0
passes=0
# A failed check is followed by what a person needs to find its cause
# (explain).
check() { # name, command...
  local name=$1; shift
  if "$@"; then
    echo "PASS: $name"; passes=$((passes + 1))
  else
    echo "FAIL: $name"; failures=$((failures + 1))
    explain
    return 1
  fi
}
# A check that the rest needs: stop at its failure.
require() { # name, command...
  check "$@" || { echo "$passes passed, $failures failed; stopped"; exit 1; }
}
same() { # expected, actual: shows both when they differ
  [ "$1" == "$2" ] && return 0
  printf -- '--- expected\n%s\n--- actual\n%s\n---\n' "$1" "$2"
  return 1
}
w() { timeout 60 "$wine" "$@" </dev/null; }
reg() { lane_reg "$@"; }
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
script() { winpath "$client_dir/$1"; }
# Runs a client script to its end (at most 90 s); prints its output without
# CRs. Its command line, exit status, output and error output stay in
# $work/client.* for explain.
client() { # script, arguments...
  local name=$1; shift
  echo "$name $*" >"$work/client.args"
  { timeout 90 "$wine" cscript //nologo "$(script "$name")" "$@" 2>"$work/client.err"
    echo $? >"$work/client.rc"; } | tr -d '\r' | tee "$work/client.out"
}
# Waits (bounded) until every process of the prefix, the bridge too, has ended.
prefix_idle() { timeout 30 "$wineserver" -w; }
wait_for_file() { # path, seconds
  local i
  for i in $(seq $(($2 * 5))); do
    [ -e "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
# Process ids of this prefix's bridge processes, one a line: Wine shows a
# Windows program's path as the first word of its Linux command line, and
# the prefix is the WINEPREFIX in its environment.
bridge_pids() {
  local file dir
  for file in $(grep -lais StavaAutomationBridge /proc/[0-9]*/cmdline); do
    dir=${file%/cmdline}
    tr '\0' '\n' 2>/dev/null <"$file" | head -n 1 | grep -qi 'StavaAutomationBridge\.exe$' ||
      continue
    tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      echo "${dir#/proc/}"
  done
}
# Waits (at most `seconds`) until no bridge process of the prefix is left.
bridges_gone() { # seconds
  local deadline=$(($(now_ms) + $1 * 1000))
  until [ -z "$(bridge_pids)" ]; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
# Prints each bridge process of the prefix that is still running.
show_bridges() {
  local pid
  for pid in $(bridge_pids); do
    echo "still running: $pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
  done
}
# Prints a file for explain: the last 60 lines, CRs left out and other
# control octets (NUL too) shown as ^@ and the like.
show_file() { # title, path
  if [ ! -e "$2" ]; then
    echo "$1: none"
  elif [ ! -s "$2" ]; then
    echo "$1: empty"
  else
    echo "$1 (lines: $(wc -l <"$2"), at most the last 60 shown):"
    tail -n 60 "$2" | tr -d '\r' | cat -v | sed 's/^/  /'
  fi
}
# What a person needs to find the cause of a failed check: the last
# client's command line, exit status, output and error output, the bridge's
# log ($log), the application's call log ($calls), the error output that
# helpers and background clients left in $work/*.err, the bridge's settings
# in the registry, and the bridge processes of the prefix that run now.
explain() {
  local file
  echo "--- what the test saw"
  if [ -e "$work/client.args" ]; then
    echo "last client: $(cat "$work/client.args"), exit status $(cat "$work/client.rc" 2>/dev/null)"
    show_file "  its output" "$work/client.out"
    show_file "  its error output" "$work/client.err"
  fi
  [ -z "${log:-}" ] || show_file "bridge log $log" "$log"
  [ -z "${calls:-}" ] || show_file "call log $calls" "$calls"
  for file in "$work"/*.err; do
    [ "$file" == "$work/client.err" ] || [ ! -s "$file" ] || show_file "$file" "$file"
  done
  echo "bridge processes of this prefix: $(bridge_pids | wc -l)"
  show_bridges
  # Read after the processes were listed: reg is a Wine process too.
  echo "the bridge's settings now:"
  reg query "$bridge_key" 2>&1 | tr -d '\r' | grep -v '^$' | sed 's/^/  /'
  echo "---"
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Where the bridge reads the application's reference and writes its log.
bridge_key='HKLM\SOFTWARE\StavaAutomationBridge'
clsid='{9414E262-0AB6-11D2-B13D-0000C0BAD3E5}'
bridge_settings() { # reference file, log file (Linux paths)
  reg add "$bridge_key" /v refFile /d "$(winpath "$1")" /f >/dev/null &&
    reg add "$bridge_key" /v logFile /d "$(winpath "$2")" /f >/dev/null
}
has_key() { reg query "$1" >/dev/null 2>&1; }
# Keeps a registry read that gave no data for explain, in $work/query.err:
# to a check, a key that is not there and a reg run that failed look alike.
note_failed_read() { # what ran, its exit status, its output, file of its error output
  { echo "$1: exit $2"
    [ -z "$3" ] || sed 's/^/  out: /' <<<"${3//$'\r'/}"
    [ ! -s "$4" ] || sed 's/^/  err: /' "$4"
  } >>"$work/query.err"
}

# The application stand-in ($standin): its reference goes to $ref, its calls
# to $calls, its error output to $work/standin.err. The checks of the call
# log see only the calls since the last mark_calls.
# It stops by itself after $standin_seconds at the latest.
standin_pid=
standin_seconds=600
calls=
calls_base=0
start_standin() { # call log name (in $work), more stand-in options...
  local name=$1; shift
  rm -f "$ref"
  calls=$work/$name
  calls_base=0
  "$standin" --ref "$ref" --calls "$calls" --max-seconds "$standin_seconds" "$@" \
    2>>"$work/standin.err" &
  standin_pid=$!
  wait_for_file "$ref" 30
}
stop_standin() { stop_pid "$standin_pid"; standin_pid=; }
# Ends a process at once, as a crash would.
kill_hard() { # pid
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
mark_calls() { calls_base=$(wc -l <"$calls"); }
calls_are() { # expected lines since the mark
  same "$(printf '%s\n' "$@")" "$(tail -n +"$((calls_base + 1))" "$calls" 2>/dev/null)"
}
# The bridge's log in $log.
log_is() { # expected lines; the file ends each with CR LF
  same "$(printf '%s\r\n' "$@")" "$(cat "$log" 2>/dev/null)"
}
stv_line() { echo "stv is '$(cat "$ref")'"; }
# The lines that a bridge writes into its log, as its documentation lists
# them ("The bridge's log"); a description may go on over lines of its own.
log_forms="^(bridge startup|bridge shutdown|stv is '.*'|ref-file '.*' (not opened|holds no reference|\
read as (UTF-8 with byte-order mark|UTF-16LE|UTF-16BE))|reference longer than 999 characters ignored|\
(reference not converted|ORB not initialised|unlock failed|[A-Za-z]+ failed): .+|\
Reason: .*|Completed: (yes|no|maybe)|Minor code: .*)\$"
# True when $log holds whole lines only: no NUL octet, each line ended by
# CR LF and of a documented form. Shows what is not.
log_lines_whole() {
  local nuls bare odd
  nuls=$(tr -cd '\000' <"$log" | wc -c)
  bare=$(tr -d '\000' <"$log" | grep -av $'\r$')
  odd=$(tr -d '\000\r' <"$log" | grep -avE "$log_forms")
  [ "$nuls" -eq 0 ] && [ -z "$bare" ] && [ -z "$odd" ] && return 0
  printf 'the log holds %s NUL octets\nlines without CR LF:\n%s\nlines of no documented form:\n%s\n' \
    "$nuls" "${bare:-(none)}" "${odd:-(none)}"
  cat -A "$log"
  return 1
}
# A description as the clients print it (Report), as the log holds it: the
# log is a text-mode file, so each LF is written as CR LF.
logged() { local s=${1//<CR>/$'\r'}; printf '%s' "${s//<LF>/$'\r\n'}"; }
# The description that a client printed for the call `name`.
description_of() { # name, output
  grep -A2 "^$1=[^ ]* err=" <<<"$2" | sed -n 's/^desc=//p'
}
# IIOP version, host and port of the first profile in $ref (catior, from
# Debian's omniorb, decodes it).
profile() { catior "$(cat "$ref")" | sed -n 's/^1\. IIOP \([0-9.]*\) \([0-9.]*\) \([0-9]*\) .*/\1 \2 \3/p'; }
ref_port() { local port; read -r _ _ port <<<"$(profile)"; echo "$port"; }
# True while some process holds an established connection (state 01 in the
# kernel's table, the port in four hexadecimal digits) on this local port:
# the application's end of a connection to it.
connected_to() { # port
  local hex
  hex=$(printf '%04X' "$1")
  awk -v p=":$hex" '$2 ~ p "$" && $4 == "01" { found = 1 } END { exit !found }' /proc/net/tcp
}
wait_until() { # seconds, command...
  local deadline=$(($(now_ms) + $1 * 1000))
  shift
  until "$@"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}
# Shows the error output that the test's helpers left in $work/NAME.err.
show_errors() { # names...
  local name
  for name in "$@"; do
    if [ -s "$work/$name.err" ]; then
      echo "$name error output:"; cat "$work/$name.err"
    fi
  done
}

# Scenarios that share a prefix but nothing else. Each runs in a subshell:
# its variables, its processes and its exit stay its own, and an EXIT trap
# there runs its tear-down also when a `require` stops it. Inside, $work is
# the scenario's own folder. It prints a header, its checks and its own
# counts; the suite's counts grow by them, and `failed_scenarios` names
# those with a failure.
failed_scenarios=()
scenario() { # name, function, tear-down function
  local name=$1 body=$2 teardown=$3 counts=$work/$1.counts p f
  echo "=== $name"
  mkdir -p "$work/$name"
  (
    work=$work/$name
    passes=0 failures=0
    trap '"$teardown"; echo "$passes $failures" >"$counts"' EXIT
    "$body"
  )
  # No counts: the subshell died before its trap; that is a failure.
  read -r p f <"$counts" 2>/dev/null || { p=0 f=1; echo "FAIL: $name ended without its counts"; }
  [ "$f" -eq 0 ] || failed_scenarios+=("$name")
  echo "=== $name: $p passed, $f failed"
  passes=$((passes + p)) failures=$((failures + f))
}
