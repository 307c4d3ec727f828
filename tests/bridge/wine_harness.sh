# What the Wine script tests of the bridge share; source it from bash after
# setting `work` (the test's temporary directory, removed by its cleanup),
# `root` (the repository) and `client_dir` (the folder of its VBScript
# clients), `exe` (the bridge under test). It makes a Wine prefix of the
# test's own inside $work, in the bridge's lane (scripts/wine-lane.sh),
# counts PASS and FAIL lines, and bounds every Wine run and every wait.
source "$root/scripts/wine-lane.sh"
wine_lane_for "$exe" || exit 1
echo "Wine lane: $STAVA_WINE_LANE"

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

# The prefix lies in $work, so that the cleanup removes it. Its creation
# fails now and then on a loaded machine: one more try.
export WINEPREFIX=$work/wine/prefix
new_prefix() {
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work/wine" && mkdir "$work/wine" &&
    bash "$root/scripts/wine-prefix.sh" "$work/wine" >/dev/null
}
new_prefix || new_prefix || { echo "FAIL: no Wine prefix"; exit 1; }

failures=0
passes=0
check() { # name, command...
  local name=$1; shift
  if "$@"; then
    echo "PASS: $name"; passes=$((passes + 1))
  else
    echo "FAIL: $name"; failures=$((failures + 1))
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
# Runs a client script to its end (at most 90 s); prints its output without CRs.
client() { # script, arguments...
  local name=$1; shift
  timeout 90 "$wine" cscript //nologo "$(script "$name")" "$@" 2>/dev/null | tr -d '\r'
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
now_ms() { echo $(($(date +%s%N) / 1000000)); }
