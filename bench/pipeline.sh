#!/usr/bin/env bash
# Whole-pipeline benchmark: capsel against the I/O floor on identical copies of the same files.
#   bench/pipeline.sh [BUILD_DIR]      (default: build-test, as ./test.sh leaves it)
# Prints files per second for both and their ratio, MB per second, and capsel's peak memory;
# first, capsel's whole conversion of one large document against capsel_xml_floor.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
for tool in capsel capsel_generate capsel_io_floor capsel_xml_floor; do
  [ -x "$build/$tool" ] || { echo "no $build/$tool: run ./test.sh first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package 'time')" >&2; exit 1; }
# On disk like a real watch folder, not in a memory file system.
work=$(mktemp -d "${CAPSEL_BENCH_DIR:-/var/tmp}/capsel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# run_case NAME FILES CUES: generates the documents, converts one copy with capsel and moves
# the other through the floor, and prints one line of figures.
run_case() {
  local name=$1 files=$2 cues=$3 dir="$work/$1"
  mkdir -p "$dir"/capsel/{in,out,done} "$dir"/floor/{in,out,done}
  "$build/capsel_generate" "$dir/capsel/in" "$files" "$cues" d 1
  cp -a "$dir/capsel/in/." "$dir/floor/in/"
  local bytes
  bytes=$(du -sb "$dir/capsel/in" | cut -f1)
  printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\nLogfileName=capsel.log\n[Processing]\nMinFileAge=0\n' \
    >"$dir/capsel/capsel.ini"
  sync

  local t0 t1 t2
  t0=$(date +%s.%N)
  /usr/bin/time -v "$build/capsel" --headless --once --config "$dir/capsel/capsel.ini" \
    >/dev/null 2>"$dir/time.txt"
  t1=$(date +%s.%N)
  "$build/capsel_io_floor" "$dir/floor/in" "$dir/floor/out" "$dir/floor/done" >/dev/null
  t2=$(date +%s.%N)

  local converted rss
  converted=$(find "$dir/capsel/out" -name '*.srt' | wc -l)
  [ "$converted" -eq "$files" ] || { echo "$name: only $converted of $files converted" >&2; exit 1; }
  rss=$(awk -F': ' '/Maximum resident set size/{print $2}' "$dir/time.txt")
  python3 - "$name" "$files" "$cues" "$bytes" "$t0" "$t1" "$t2" "$rss" <<'PY'
import sys
name, files, cues, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
t0, t1, t2, rss_kb = float(sys.argv[5]), float(sys.argv[6]), float(sys.argv[7]), int(sys.argv[8])
capsel, floor = t1 - t0, t2 - t1
print(f"{name:<18} {files:>6} files x {cues:>6} cues  {size/1e6:8.1f} MB | "
      f"capsel {capsel:7.2f} s {files/capsel:8.0f} files/s {size/1e6/capsel:7.1f} MB/s | "
      f"floor {floor:6.2f} s {files/floor:8.0f} files/s | ratio {capsel/floor:5.2f} | "
      f"peak RSS {rss_kb/1024:6.1f} MB = {rss_kb*1024/size:5.1f} x input")
PY
  rm -rf "$dir"
}

# reader_floor CUES: capsel's whole conversion of one document (read, convert, write, move)
# against capsel_xml_floor, the least a converter on libxml2 must do with it; five runs each,
# alternating, on fresh copies; medians and their ratio.
reader_floor() {
  local cues=$1 dir="$work/reader-floor"
  mkdir -p "$dir/doc" "$dir/capsel"/{in,out,done} "$dir/floor"
  "$build/capsel_generate" "$dir/doc" 1 "$cues" d 1
  local doc="$dir/doc/doc000001.xml" bytes
  bytes=$(stat -c %s "$doc")
  printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\nLogfileName=capsel.log\n[Processing]\nMinFileAge=0\n' \
    >"$dir/capsel/capsel.ini"
  local times=() i t0 t1 t2
  for i in 1 2 3 4 5; do
    rm -f "$dir"/capsel/{out,done}/* "$dir"/floor/*
    cp "$doc" "$dir/capsel/in/" && cp "$doc" "$dir/floor/in.xml" && sync
    t0=$(date +%s.%N)
    /usr/bin/time -f %M -o "$dir/capsel.rss" "$build/capsel" --headless --once --config "$dir/capsel/capsel.ini" >/dev/null
    t1=$(date +%s.%N)
    /usr/bin/time -f %M -o "$dir/floor.rss" "$build/capsel_xml_floor" "$dir/floor/in.xml" "$dir/floor/out.srt" "$dir/floor/done.xml" >/dev/null
    t2=$(date +%s.%N)
    times+=("$t0 $t1 $t2")
  done
  python3 - "$cues" "$bytes" "$(cat "$dir/capsel.rss")" "$(cat "$dir/floor.rss")" "${times[@]}" <<'PY'
import statistics, sys
cues, size, capsel_rss, floor_rss = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
runs = [tuple(map(float, r.split())) for r in sys.argv[5:]]
capsel = statistics.median(t1 - t0 for t0, t1, _ in runs)
floor = statistics.median(t2 - t1 for _, t1, t2 in runs)
print(f"reader-floor {cues:>7} cues {size/1e6:6.1f} MB | capsel {capsel:6.3f} s {size/1e6/capsel:6.1f} MB/s "
      f"{capsel_rss/1024:5.1f} MB | floor {floor:6.3f} s {size/1e6/floor:6.1f} MB/s {floor_rss/1024:5.1f} MB | "
      f"ratio {capsel/floor:5.2f} (median of {len(runs)})")
PY
  rm -rf "$dir"
}

echo "capsel pipeline benchmark: $(nproc) cores, $(uname -r), work folder $work"
reader_floor 100000
run_case small-5000 5000 30
run_case one-large 1 100000
echo "scaling:"
run_case files-1000 1000 30
run_case files-10000 10000 30
run_case cues-10000 1 10000
run_case cues-100000 1 100000
