#!/usr/bin/env bash
# Instructions, not seconds: the one-document benchmark (100,000 cues, 29.5 MB) converted under
# valgrind's callgrind by each build given, under each set of [Processing] lines. Instruction
# counts do not move with the load of the machine, so two builds or two settings compare on a
# busy machine too; they leave out the kernel's share (the file reads and writes).
#   bench/instructions.sh BUILD_DIR[,BUILD_DIR...] [LINES...]
#   e.g. bench/instructions.sh old/build-test,build-test 'Overlaps=0' 'Overlaps=2'
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
IFS=, read -r -a builds <<<"${1:-$root/build-test}"
shift || true
[ $# -gt 0 ] || set -- 'Overlaps=0' 'Overlaps=2'
command -v valgrind >/dev/null || { echo "needs valgrind (Debian package 'valgrind')" >&2; exit 1; }
for b in "${builds[@]}"; do
  [ -x "$b/capsel" ] || { echo "no $b/capsel: build it first" >&2; exit 1; }
done
generate=$(ls "${builds[-1]}/capsel_generate") || exit 1
work=$(mktemp -d "${CAPSEL_BENCH_DIR:-/var/tmp}/capsel-instructions.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$generate" "$work" 1 100000 d 1
echo "one document of 100,000 cues, instructions of the whole run (millions):"
for b in "${builds[@]}"; do
  for lines in "$@"; do
    rm -rf "$work/run" && mkdir -p "$work/run"/{in,out,done}
    cp "$work/doc000001.xml" "$work/run/in/"
    printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\n%s\n' \
      "$lines" >"$work/run/capsel.ini"
    valgrind --tool=callgrind --callgrind-out-file="$work/out" \
      "$b/capsel" --headless --once --config "$work/run/capsel.ini" >/dev/null 2>"$work/err" ||
      { cat "$work/err" >&2; exit 1; }
    total=$(sed -n 's/^summary: *//p' "$work/out")
    printf '%-40s %-32s %10.1f\n' "$b" "$(tr '\n' ' ' <<<"$lines")" "$(awk -v t="$total" 'BEGIN { print t / 1e6 }')"
  done
done
