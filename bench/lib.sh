# Shell helpers of the benchmark and soak drivers; source it from bash.
# Every wait is bounded, and bench_cleanup (for trap ... EXIT) stops what the
# helpers started and removes the work directory.

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench_work=$(mktemp -d /tmp/stava-bench.XXXXXX)
bench_standin_pid=

# Configures DIR as a Release build of the benchmarks without tests or
# sanitizers (the preset bench, in DIR), and builds the given targets in it.
bench_build() { # dir, target...
  local dir=$1; shift
  cmake -S "$bench_root" --preset bench -B "$dir" >/dev/null
  cmake --build "$dir" -j2 --target "$@" >/dev/null
}

# Starts the application stand-in on a free loopback port with a GIOP 1.0
# profile, as the bridge's references, and waits (at most 10 s) for its
# reference in REF. It stops by itself after MAX_SECONDS at the latest.
bench_start_standin() { # stand-in program, ref file, max seconds
  rm -f "$2"
  "$1" --ref "$2" --port 0 --giop 1.0 --max-seconds "$3" &
  bench_standin_pid=$!
  local _
  for _ in $(seq 100); do
    [[ -s $2 ]] && return 0
    sleep 0.1
  done
  echo "the stand-in wrote no reference" >&2
  return 1
}

bench_stop_standin() {
  [[ -n $bench_standin_pid ]] || return 0
  kill "$bench_standin_pid" 2>/dev/null || true
  wait "$bench_standin_pid" 2>/dev/null || true
  bench_standin_pid=
}

bench_cleanup() {
  bench_stop_standin
  rm -rf "$bench_work"
}
