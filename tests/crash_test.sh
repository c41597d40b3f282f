#!/usr/bin/env bash
# Crash consistency: capsel is killed with SIGKILL at random moments while it converts 300
# documents, and started again each time. Afterwards every input must be accounted for
# exactly once: its SRT file complete (equal to an undisturbed conversion) and the input in
# the processed folder; in delete mode an input may be gone only if its SRT file is complete.
# No partial SRT file and no visible stray file may remain.
#   crash_test.sh CAPSEL CAPSEL_GENERATE [KILLS]
set -euo pipefail
capsel=$1
generate=$2
kills=${3:-20}
work=$(mktemp -d /var/tmp/capsel-crash.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

setup() {  # setup DIR OUTPATHXML
  mkdir -p "$1"/{in,out,done}
  printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=%s\n[Processing]\nMinFileAge=0\n' \
    "$2" >"$1/capsel.ini"
}

# The reference: the same documents converted without interruption.
setup "$work/reference" done
"$generate" "$work/reference/in" 300 1000 d 42
mkdir -p "$work/documents" && cp "$work/reference/in/"* "$work/documents/"
"$capsel" --headless --once --config "$work/reference/capsel.ini" >/dev/null || fail "reference run"

run_with_kills() {  # run_with_kills DIR KILLS
  local dir=$1 n=$2 survived=0 i pid delay
  for ((i = 0; i < n; i++)); do
    "$capsel" --headless --once --config "$dir/capsel.ini" >/dev/null 2>&1 &
    pid=$!
    delay=$(awk -v r=$RANDOM 'BEGIN { printf "%.3f", 0.03 + r / 32767 * 0.2 }')
    sleep "$delay"
    if kill -KILL "$pid" 2>/dev/null; then survived=$((survived + 1)); fi
    wait "$pid" 2>/dev/null || true
  done
  echo "$survived"
}

finish() {  # Then capsel runs undisturbed until the watch folder is empty.
  local i
  for ((i = 0; i < 3; i++)); do
    "$capsel" --headless --once --config "$1/capsel.ini" >/dev/null 2>&1 || true
  done
}

check_outputs() {  # check_outputs DIR MODE
  local dir=$1 mode=$2 f name
  for f in "$work/documents/"*.xml; do
    name=$(basename "$f" .xml)
    cmp -s "$dir/out/$name.srt" "$work/reference/out/$name.srt" || fail "$mode: $name.srt missing or incomplete"
    if [ "$mode" = move ]; then
      cmp -s "$dir/done/$name.xml" "$f" || fail "$mode: $name.xml not in the processed folder"
    fi
    [ ! -e "$dir/in/$name.xml" ] || fail "$mode: $name.xml still in the watch folder"
  done
  [ "$(find "$dir/out" -type f ! -name '.*' ! -name '*.srt' | wc -l)" -eq 0 ] || fail "$mode: stray files in out"
  [ "$(find "$dir/in" -type f ! -name '.*' | wc -l)" -eq 0 ] || fail "$mode: files left in the watch folder"
  echo "$mode: hidden temporary files left: $(find "$dir/out" "$dir/done" -name '.capsel-*' | wc -l)"
}

setup "$work/move" done
cp "$work/documents/"* "$work/move/in/"
killed=$(run_with_kills "$work/move" "$kills")
finish "$work/move"
check_outputs "$work/move" move
echo "move mode: $kills starts, $killed killed while running; 300 documents accounted for"

setup "$work/delete" "<DELETE>"
cp "$work/documents/"* "$work/delete/in/"
# Between kills: an input that is gone must have its complete SRT file.
killed=0
for ((round = 0; round < kills; round++)); do
  killed=$((killed + $(run_with_kills "$work/delete" 1)))
  for f in "$work/documents/"*.xml; do
    name=$(basename "$f" .xml)
    if [ ! -e "$work/delete/in/$name.xml" ]; then
      cmp -s "$work/delete/out/$name.srt" "$work/reference/out/$name.srt" || fail "delete: $name gone without its SRT"
    fi
  done
done
finish "$work/delete"
check_outputs "$work/delete" delete
echo "delete mode: $kills starts, $killed killed while running; 300 documents accounted for"
echo "crash test passed"
