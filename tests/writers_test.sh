#!/usr/bin/env bash
# Writers in progress: while capsel runs, other processes write documents into the watch
# folder slowly, in chunks with pauses, and by writing elsewhere then renaming. Every
# document must be converted from its complete content, none taken while being written.
#   writers_test.sh CAPSEL CAPSEL_GENERATE
set -euo pipefail
capsel=$1
generate=$2
work=$(mktemp -d /var/tmp/capsel-writers.XXXXXX)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

for d in reference run; do
  mkdir -p "$work/$d"/{in,out,done}
  printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\n' >"$work/$d/capsel.ini"
done
"$generate" "$work/reference/in" 12 300 d 7
mkdir -p "$work/documents" && cp "$work/reference/in/"* "$work/documents/"
"$capsel" --headless --once --config "$work/reference/capsel.ini" >/dev/null || fail "reference run"

# The run under test keeps the default rest time of two seconds.
printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n' >"$work/run/capsel.ini"
"$capsel" --headless --config "$work/run/capsel.ini" >"$work/run/log.txt" 2>&1 &
pid=$!

slow_write() {  # in four chunks with pauses shorter than the rest time
  local src=$1 dst=$2 size chunk i
  size=$(stat -c %s "$src")
  chunk=$(((size + 3) / 4))
  for i in 0 1 2 3; do
    dd if="$src" bs="$chunk" skip="$i" count=1 status=none >>"$dst"
    [ "$i" -lt 3 ] && sleep "0.$((RANDOM % 9 + 5))"
  done
}
n=0
for f in "$work/documents/"*.xml; do
  name=$(basename "$f")
  if ((n++ % 2 == 0)); then
    slow_write "$f" "$work/run/in/$name" &
  else
    (sleep "0.$((RANDOM % 9))"; cp "$f" "$work/run/in/.$name.part"; sleep 1;
     mv "$work/run/in/.$name.part" "$work/run/in/$name") &
  fi
done
wait $(jobs -p | grep -vx "$pid") 2>/dev/null || true

for i in $(seq 150); do
  [ "$(ls "$work/run/done" | wc -l)" -eq 12 ] && break
  sleep 0.2
done
for f in "$work/documents/"*.xml; do
  name=$(basename "$f" .xml)
  cmp -s "$work/run/out/$name.srt" "$work/reference/out/$name.srt" || fail "$name.srt is not the conversion of the whole document"
  cmp -s "$work/run/done/$name.xml" "$f" || fail "$name.xml was not moved whole"
done
grep -q "Error" "$work/run/log.txt" && fail "errors logged: $(grep Error "$work/run/log.txt" | head -3)"
echo "writers test passed: 12 documents written slowly or renamed in, all converted whole"
