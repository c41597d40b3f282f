#!/usr/bin/env bash
# Loads too large for the test run, each through the built binary:
#   headless  one running capsel takes 50,000 documents (more than one scan takes), then 10,000 more;
#   window    the same with the window shown, under Xvfb;
#   large     one document of 700,000 cues (over 200 MB) with --once.
# Prints the time, the rate and the resident memory of each. Fails when a document is not
# converted, or when the resident memory grows by 4 MB or more over the 10,000 documents that
# follow the 50,000 (the list and the scan must not keep what they have done).
#   bench/loads.sh [BUILD_DIR] [CASE...]      (default: build-test, all three cases)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
shift || true
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(headless window large)
for tool in "$build/capsel" "$build/capsel_generate" /usr/bin/time; do
  [ -x "$tool" ] || { echo "no $tool: build first (and install the Debian package 'time')" >&2; exit 1; }
done
work=$(mktemp -d "${CAPSEL_BENCH_DIR:-/var/tmp}/capsel-loads.XXXXXX")
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
now() { date +%s.%N; }
settings() {
  mkdir -p "$1"/{in,out,done}
  printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\n' \
    >"$1/capsel.ini"
}
status() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

start_xvfb() {
  local n i
  command -v Xvfb >/dev/null || fail "the window case needs Xvfb (Debian package xvfb)"
  for n in $(seq 90 150); do [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break; done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=:$n XDG_RUNTIME_DIR=$work/runtime
  mkdir -m 0700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
  for ((i = 0; i < 100; i++)); do xdpyinfo >/dev/null 2>&1 && return; sleep 0.1; done
  fail "Xvfb did not start"
}

# load CASE CAPSEL_ARGS...: 50,000 documents of 3 cues, then 10,000 more, through one capsel.
load() {
  local name=$1 dir=$work/$1 pid t0 t1 t2 t3 rss1 rss2 i
  shift
  settings "$dir"
  mkdir "$dir/staging"
  "$build/capsel_generate" "$dir/staging" 60000 3 d 1
  feed() { (cd "$dir/staging" && ls | sed -n "1,$1p" | xargs mv -t ../in); }
  converted() {  # converted COUNT: waits up to ten minutes for COUNT inputs in the processed folder
    for ((i = 0; i < 3000; i++)); do [ "$(ls "$dir/done" | wc -l)" -ge "$1" ] && return; sleep 0.2; done
    fail "$name: only $(ls "$dir/done" | wc -l) of $1 documents converted"
  }
  feed 50000
  t0=$(now)
  "$build/capsel" "$@" --config "$dir/capsel.ini" >"$dir/capsel.out" 2>&1 &
  pid=$!
  pids+=($pid)
  converted 50000
  t1=$(now)
  sleep 3
  rss1=$(status "$pid" VmRSS)
  feed 10000
  t2=$(now)
  converted 60000
  t3=$(now)
  sleep 3
  rss2=$(status "$pid" VmRSS)
  [ "$(ls "$dir/out" | wc -l)" -eq 60000 ] || fail "$name: $(ls "$dir/out" | wc -l) SRT files for 60,000 documents"
  awk -v n="$name" -v t0="$t0" -v t1="$t1" -v t2="$t2" -v t3="$t3" -v r1="$rss1" -v r2="$rss2" \
    -v peak="$(status "$pid" VmHWM)" 'BEGIN {
      printf "%-8s 50,000 documents %6.1f s (%5.0f files/s), 10,000 more %5.1f s | resident %5.1f MB after 50,000, " \
             "%5.1f MB after 60,000, peak %5.1f MB\n", n, t1 - t0, 50000 / (t1 - t0), t3 - t2, r1 / 1024, r2 / 1024, peak / 1024 }'
  kill "$pid"
  [ "$rss2" -lt $((rss1 + 4096)) ] || fail "$name: resident memory grew from $rss1 kB to $rss2 kB"
  rm -rf "$dir"
}

large() {
  local dir=$work/large t0 t1 bytes
  settings "$dir"
  "$build/capsel_generate" "$dir/in" 1 700000 d 3
  bytes=$(stat -c %s "$dir/in/doc000001.xml")
  t0=$(now)
  /usr/bin/time -f %M -o "$dir/rss" "$build/capsel" --headless --once --config "$dir/capsel.ini" >/dev/null ||
    fail "large: capsel reported a failure"
  t1=$(now)
  grep -qx $'700000\r' "$dir/out/doc000001.srt" && [ -e "$dir/done/doc000001.xml" ] ||
    fail "large: the document was not converted whole"
  awk -v b="$bytes" -v t0="$t0" -v t1="$t1" -v rss="$(cat "$dir/rss")" 'BEGIN {
    printf "large    one document of 700,000 cues, %.1f MB: %5.1f s (%5.1f MB/s) | peak resident %5.1f MB\n",
           b / 1e6, t1 - t0, b / 1e6 / (t1 - t0), rss / 1024 }'
  rm -rf "$dir"
}

echo "capsel loads: $(nproc) cores, $(uname -r), work folder $work"
for case in "${cases[@]}"; do
  case "$case" in
    headless) load headless --headless ;;
    window) start_xvfb && load window ;;
    large) large ;;
    *) fail "unknown case $case (headless, window or large)" ;;
  esac
done
