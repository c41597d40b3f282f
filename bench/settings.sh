#!/usr/bin/env bash
# What a setting costs: the one-document benchmark (100,000 cues, 29.5 MB) converted under each
# set of [Processing] lines given, five runs each, alternating; median time and peak memory.
#   bench/settings.sh [BUILD_DIR] [LINES...]
#   e.g. bench/settings.sh build-test 'Overlaps=0' 'Overlaps=2' $'Overlaps=2\nWriteVtt=1'
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
shift || true
[ $# -gt 0 ] || set -- 'Overlaps=0' 'Overlaps=1' 'Overlaps=2'
for tool in capsel capsel_generate; do
  [ -x "$build/$tool" ] || { echo "no $build/$tool: run ./test.sh first" >&2; exit 1; }
done
work=$(mktemp -d "${CAPSEL_BENCH_DIR:-/var/tmp}/capsel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/capsel_generate" "$work" 1 100000 d 1
doc=$work/doc000001.xml
for i in $(seq $#); do
  mkdir -p "$work/$i"/{in,out,done}
  printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\n%s\n' \
    "${!i}" >"$work/$i/capsel.ini"
done
for run in 1 2 3 4 5; do
  for i in $(seq $#); do
    rm -f "$work/$i"/{out,done}/* && cp "$doc" "$work/$i/in/" && sync
    /usr/bin/time -f '%e %M' -a -o "$work/$i/times" "$build/capsel" --headless --once --config "$work/$i/capsel.ini" >/dev/null
  done
done
echo "one document of 100,000 cues, $(nproc) cores, median of 5 runs each:"
for i in $(seq $#); do
  sort -n "$work/$i/times" | sed -n 3p | awk -v s="$(tr '\n' ' ' <<<"${!i}")" '{ printf "%-40s %6.2f s  peak %6.1f MB\n", s, $1, $2 / 1024 }'
done
