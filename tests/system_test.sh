#!/usr/bin/env bash
# The built binary on real files and real file systems, one section per run. "Whole" means byte
# for byte what an undisturbed conversion of the same documents wrote.
#  crash    capsel is killed with SIGKILL at random moments while it converts 300 documents and
#           is started again each time, moving the inputs and then deleting them. Whatever has
#           left the watch folder has its whole SRT file (and in move mode its whole moved input);
#           at the end each document has exactly one of each, and no partial or stray file is left.
#  writers  while capsel runs with its default rest time, other processes write documents into
#           the watch folder slowly in chunks with pauses, or write them elsewhere and rename them
#           in: each is converted whole and moved whole, and no error is logged.
#  faults   in a private mount namespace: a full SRT folder, a full folder for the WebVTT file
#           alone, and a full processed folder on another file system. Each is logged as designed,
#           nothing is lost, and capsel converts again once it is gone. (Every other failure is
#           tested through the fake file system.)
#  interrupts  while capsel converts a large document: a producer renames a new version over it
#           (move and delete mode: the new version waits and is converted by the next scan); a
#           second SIGTERM (capsel ends within a second, the input in place, no output of it);
#           one SIGTERM under --once (status 3, the rest waits); standard output's reader gone.
#  order    documents disordered far beyond what capsel holds in memory (two divs of 70,000
#           cues, one after the other in time; 1,000,000 cues in reverse): with each Overlaps,
#           every WebVTT file (and with 1 and 2 every SRT file) has every cue in begin order,
#           in little memory.
#  shared   three capsel processes with SharedWatchFolder=1 on one folder of 3,000 documents, one
#           of them killed with SIGKILL at random moments and started again, five times: each
#           document is converted and moved exactly once, each SRT file is whole, nothing is left
#           in the watch folder or its claims, and the logs' "Processing" lines count each
#           document once plus one for each conversion a kill cut short. The same over an NFS
#           mount where this machine has an NFS client (SKIP with the reason where not).
#   system_test.sh CAPSEL CAPSEL_GENERATE crash|writers|faults|interrupts|order|shared
set -euo pipefail
section=${3:-}
[[ $section =~ ^(crash|writers|faults|interrupts|order|shared)$ ]] ||
  { echo "usage: $0 CAPSEL CAPSEL_GENERATE crash|writers|faults|interrupts|order|shared"; exit 64; }
if [ "$section" = faults ] && [ -z "${CAPSEL_IN_NAMESPACE:-}" ]; then
  unshare -rm true 2>/dev/null || { echo "skipped: no user and mount namespaces here"; exit 77; }
  CAPSEL_IN_NAMESPACE=1 exec unshare -rm "$0" "$@"
fi
capsel=$(realpath "$1")
generate=$(realpath "$2")
work=$(mktemp -d /var/tmp/capsel-system.XXXXXX)
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null || true
  wait || true
  cd / && umount "$work"/run/{out,done} 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $section: $*"
  [ ! -f "$work/last.log" ] || tail -n 20 "$work/last.log"
  exit 1
}

# settings DIR [OUTPATHXML [LOGFILE [PROCESSING]]]: DIR/capsel.ini for the folders in, out and
# done beside it (made here); PROCESSING is the [Processing] section's body.
settings() {
  mkdir -p "$1"/{in,out,done}
  printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=%s\nLogfileName=%s\n[Processing]\n%s\n' \
    "${2:-done}" "${3:-capsel.log}" "${4-MinFileAge=0}" >"$1/capsel.ini"
}
once() { timeout -k 5 100 "$capsel" --headless --once --config "${1:-.}/capsel.ini" >"$work/last.log" 2>&1; }
logged() { cut -c22- "$work/last.log" | grep -qxF -- "$1"; }

# documents COUNT: COUNT documents of 1000 cues (about 300 kB each, their SRT about 100 kB) in
# $work/documents, converted undisturbed in $work/reference.
documents() {
  mkdir -p "$work/documents"
  "$generate" "$work/documents" "$1" 1000 d 42
  settings "$work/reference"
  cp "$work/documents/"* "$work/reference/in/"
  once "$work/reference" || fail "reference run"
}
names() { (cd "$work/documents" && ls | sed 's/\.xml$//'); }
# whole DIR MODE NAME...: DIR/out/NAME.srt and, in move mode, DIR/done/NAME.xml are what the
# reference run wrote there.
whole() {
  local dir=$1 mode=$2 paths
  shift 2
  [ $# -gt 0 ] || return 0
  paths=($(printf 'out/%s.srt\n' "$@") $([ "$mode" = delete ] || printf 'done/%s.xml\n' "$@"))
  (cd "$work/reference" && md5sum "${paths[@]}") | (cd "$dir" && md5sum -c --quiet --status 2>/dev/null)
}
visible() { (cd "$1" && find in out done -type f ! -name '.*' | sort); }

crash() {
  documents 300
  local mode dir round pid killed gone expected
  for mode in move delete; do
    dir=$work/$mode
    settings "$dir" "$([ "$mode" = move ] && echo done || echo '<DELETE>')"
    cp "$work/documents/"* "$dir/in/"
    killed=0
    for ((round = 0; round < 20; round++)); do
      "$capsel" --headless --once --config "$dir/capsel.ini" >/dev/null 2>&1 &
      pid=$!
      sleep "$(awk -v r=$RANDOM 'BEGIN { printf "%.3f", 0.03 + r / 32767 * 0.2 }')"
      ! kill -KILL "$pid" 2>/dev/null || killed=$((killed + 1))
      wait "$pid" 2>/dev/null || true
      gone=($(comm -23 <(names) <(ls "$dir/in" | sed 's/\.xml$//')))
      whole "$dir" "$mode" "${gone[@]}" || fail "$mode: an input left the watch folder before it was whole elsewhere"
    done
    for round in 1 2 3; do once "$dir" || true; done
    whole "$dir" "$mode" $(names) || fail "$mode: an SRT file or moved input is missing or incomplete"
    expected=$(visible "$work/reference")
    [ "$mode" = move ] || expected=$(grep -v '^done/' <<<"$expected")
    [ "$(visible "$dir")" = "$expected" ] ||
      fail "$mode: not exactly one file per document:"$'\n'"$(diff <(visible "$dir") - <<<"$expected" | head)"
    echo "$mode: 20 starts, $killed killed while running; 300 documents accounted for;" \
      "hidden temporary files left: $(find "$dir" -name '.capsel-*' | wc -l)"
  done
}

writers() {
  documents 12
  settings "$work/run" done capsel.log ""  # the default rest time of two seconds
  "$capsel" --headless --config "$work/run/capsel.ini" >"$work/last.log" 2>&1 &
  pids+=($!)
  local name i in=$work/run/in writing=()
  # From the start-up on, so that a scan comes while each slow write is half done.
  for ((i = 0; i < 100; i++)); do grep -q "capsel initialized" "$work/last.log" && break; sleep 0.1; done
  for name in $(names); do
    if [ $((${#writing[@]} % 2)) = 0 ]; then
      (size=$(stat -c %s "$work/documents/$name.xml")
       for i in 0 1 2 3 4; do  # five chunks over more than two scans, each pause shorter than the rest time
         [ "$i" = 0 ] || sleep "1.$((RANDOM % 6))"
         dd if="$work/documents/$name.xml" bs=$(((size + 4) / 5)) skip="$i" count=1 status=none >>"$in/$name.xml"
       done) &
    else
      (sleep "0.$((RANDOM % 9))"; cp "$work/documents/$name.xml" "$in/.$name.part"; sleep 1
       mv "$in/.$name.part" "$in/$name.xml") &
    fi
    writing+=($!)
  done
  wait "${writing[@]}"
  for ((i = 0; i < 300; i++)); do whole "$work/run" move $(names) && break; sleep 0.1; done
  whole "$work/run" move $(names) || fail "not every document converted and moved whole within 30 s"
  ! grep -q Error "$work/last.log" || fail "errors logged"
  echo "12 documents written slowly or renamed in, all converted whole"
}

faults() {
  documents 3
  settings "$work/run"
  cd "$work/run"
  local doc=$work/documents/doc000001.xml fault

  mount -t tmpfs -o size=64k tmpfs out
  cp "$doc" in/
  once || true
  logged "---- Error writing SRT file!" || fail "full SRT folder: no write error"
  logged "---- ERROR: File Error (maybe missing write permissions?)" || fail "full SRT folder: no File Error line"
  [ -z "$(ls -A out)" ] || fail "full SRT folder: something was left in it: $(ls -A out)"
  cmp -s done/doc000001.xml "$doc" || fail "full SRT folder: the input was lost"
  umount out
  cp "$work/documents/doc000002.xml" in/
  once || fail "after the full SRT folder: the run failed"
  whole . move doc000002 || fail "after the full SRT folder: not converted"

  # Room for the SRT file but not for the WebVTT file beside it.
  rm -rf out/* && mount -t tmpfs -o size=$(($(stat -c %s "$work/reference/out/doc000001.srt") + 16384)) tmpfs out
  cp "$doc" in/ && sed -i 's/^MinFileAge=0$/&\nWriteVtt=1/' capsel.ini
  once || true
  logged "---- Error writing WebVTT file!" && logged "---- Cannot write out/doc000001.vtt: No space left on device" ||
    fail "full folder for the WebVTT file: its name and reason not logged"
  [ "$(ls -A out)" = doc000001.srt ] && cmp -s done/doc000001.xml "$doc" || fail "full folder for the WebVTT file: not as designed"
  umount out && sed -i '/^WriteVtt=1$/d' capsel.ini

  # A full processed folder on another file system, so the move is a copy.
  rm -rf out/* done/*
  mount -t tmpfs -o size=64k tmpfs done
  cp "$doc" in/
  once || true
  logged "---- Error moving XML file to done/" || fail "full processed folder: no move error"
  cmp -s in/doc000001.xml "$doc" || fail "full processed folder: the input is not whole in the watch folder"
  [ -z "$(ls -A done)" ] || fail "full processed folder: something was left in it: $(ls -A done)"
  mount -o remount,size=4m done
  once || fail "full processed folder gone: the run failed"
  whole . move doc000001 && [ ! -e in/doc000001.xml ] || fail "full processed folder gone: not moved"
  umount done
  echo "3 full folders, each logged, nothing lost"
}

interrupts() {
  mkdir -p "$work/documents" && "$generate" "$work/documents" 1 300000 d 7
  local big=$work/documents/doc000001.xml mode status t0
  printf '<tt xmlns="http://www.w3.org/ns/ttml"><body><div><p begin="0s" end="1s">new</p></div></body></tt>' >"$work/new.xml"
  # start DIR ARGS...: capsel on DIR/capsel.ini in the background, its lines in last.log;
  # term signals capsel itself (timeout would pass on each signal in its own way).
  start() { local dir=$1; shift; timeout -s KILL 100 "$capsel" --headless "$@" --config "$dir/capsel.ini" >"$work/last.log" 2>&1 & pid=$!; pids+=($pid); }
  term() { pkill -TERM -P "$pid"; }
  # waitfor TEXT [N]: waits up to 10 s for the N-th line (default the first) that is TEXT.
  waitfor() { for _ in $(seq 1000); do [ "$(cut -c22- "$work/last.log" | grep -cxF -- "$1")" -ge "${2:-1}" ] && return 0; sleep 0.01; done; return 1; }
  for mode in done '<DELETE>'; do
    settings "$work/$mode" "$mode" && cp "$big" "$work/$mode/in/news.xml"
    start "$work/$mode"
    waitfor "Processing news.xml..." || fail "$mode: no start"
    cp "$work/new.xml" "$work/$mode/in/.news.part" && mv "$work/$mode/in/.news.part" "$work/$mode/in/news.xml"
    waitfor "---- news.xml was replaced while it was converted; the new version waits for the next scan" ||
      fail "$mode: the replacement was not noticed"
    waitfor "Successfully processed news.xml." 2 ||
      fail "$mode: the new version was not converted by the next scan"
    sleep 0.5 && term && wait "$pid" || fail "$mode: no clean end"
    grep -q '^new' "$work/$mode/out/news.srt" && [ ! -e "$work/$mode/in/news.xml" ] || fail "$mode: the new version is not in news.srt"
    [ "$mode" = '<DELETE>' ] || cmp -s "$work/$mode/done/news.xml" "$work/new.xml" || fail "$mode: the new version was not moved"
  done

  settings "$work/stop" && cp "$big" "$work/stop/in/a.xml" && cp "$big" "$work/stop/in/b.xml"
  start "$work/stop" --once
  waitfor "Processing a.xml..." && term
  wait "$pid" && status=0 || status=$?
  [ "$status" = 3 ] && [ -e "$work/stop/done/a.xml" ] && [ -e "$work/stop/in/b.xml" ] || fail "--once stopped: status $status"

  start "$work/stop"
  waitfor "Processing b.xml..." && term && sleep 0.05 && t0=$(date +%s%N) && term
  wait "$pid" || fail "a second SIGTERM: status $?"
  [ $(($(date +%s%N) - t0)) -lt 1000000000 ] || fail "a second SIGTERM: capsel took more than a second to end"
  waitfor "---- DoConvert: Stopped at once; b.xml stays in the watch folder" && cmp -s "$work/stop/in/b.xml" "$big" &&
    [ -z "$(ls -A "$work/stop/out" | grep -v '^a\.srt$')" ] || fail "a second SIGTERM: the file given up left traces"

  # Standard output into a reader that goes: capsel lives on, its log file has the lines.
  settings "$work/pipe" && timeout -s KILL 100 "$capsel" --headless --config "$work/pipe/capsel.ini" 2>"$work/last.log" | head -n 1 >/dev/null &
  sleep 1 && cp "$work/new.xml" "$work/pipe/in/late.xml"
  for _ in $(seq 100); do grep -q "Moving late.xml to done/" "$work/pipe/capsel.log" 2>/dev/null && break; sleep 0.1; done
  grep -q "Moving late.xml to done/" "$work/pipe/capsel.log" 2>/dev/null && pkill -TERM -f "config $work/pipe/capsel.ini" ||
    fail "capsel ended when its standard output's reader went"
  wait
  echo "a re-delivery in both modes, --once stopped, a file given up at once, a closed pipe: as designed"
}

order() {
  local mode file
  mkdir -p "$work/documents"
  awk 'BEGIN { print "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body>"; for (d = 0; d < 2; d++) { print "<div>"
               for (i = 0; i < 70000; i++) printf "<p begin=\"%ds\" dur=\"1s\">Cue %d</p>\n", 2 * i + d, 2 * i + d
               print "</div>" } print "</body></tt>" }' >"$work/documents/divs.xml"
  awk 'BEGIN { print "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div>"
               for (i = 1000000; i > 0; i--) printf "<p begin=\"%ds\" dur=\"0.5s\">Cue %d</p>\n", i, i
               print "</div></body></tt>" }' >"$work/documents/reverse.xml"
  for mode in 0 1 2; do
    settings "$work/$mode" done capsel.log "$(printf 'MinFileAge=0\nWriteVtt=1\nOverlaps=%s' $mode)"
    cp "$work/documents/"*.xml "$work/$mode/in/"
    /usr/bin/time -f %M -o "$work/rss" timeout -k 5 200 "$capsel" --headless --once --config "$work/$mode/capsel.ini" >"$work/last.log" 2>&1 ||
      fail "Overlaps=$mode: the run failed"
    [ "$(cat "$work/rss")" -lt 40000 ] || fail "Overlaps=$mode: $(cat "$work/rss") kB of memory"
    for file in divs:140000 reverse:1000000; do
      for out in vtt $([ $mode = 0 ] || echo srt); do
        awk -v want="${file#*:}" '/-->/ { split($1, t, /[:.,]/); ms = ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4]
                                          if (ms < last) bad = 1; last = ms; n++ } END { exit bad || n != want }' "$work/$mode/out/${file%:*}.$out" ||
          fail "Overlaps=$mode: ${file%:*}.$out is not every cue in begin order"
      done
    done
  done
  echo "two documents disordered far beyond the window, in order with each Overlaps, in little memory"
}

# on_one_folder DIR: the three-instance run on DIR (made here), checked against the reference.
on_one_folder() {
  local dir=$1 i kill pid victim lines
  mkdir -p "$dir"/{in,out,done}
  for i in 1 2 3; do
    printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=%s/in\nOutPathSrt=%s/out\nOutPathXml=%s/done\nLogfileName=%s/capsel%s.log\nSharedWatchFolder=1\n[Processing]\nMinFileAge=0\n' \
      "$dir" "$dir" "$dir" "$work" "$i" >"$work/capsel$i.ini"
  done
  start() { timeout -s KILL 300 "$capsel" --headless --config "$work/capsel$1.ini" >/dev/null 2>&1 & pids[$1]=$!; }
  start 1 && start 2 && start 3
  cp "$work/documents/"* "$dir/in/"
  for kill in 1 2 3 4 5; do
    sleep "$(awk -v r=$RANDOM 'BEGIN { printf "%.2f", 0.3 + r / 32767 * 0.7 }')"
    victim=$((RANDOM % 3 + 1))
    pkill -KILL -P "${pids[$victim]}" && wait "${pids[$victim]}" 2>/dev/null || true
    start "$victim"
  done
  for i in $(seq 600); do [ -z "$(ls "$dir/in")" ] && [ -z "$(ls -A "$dir/in/.capsel-claims" 2>/dev/null)" ] && break; sleep 0.1; done
  for i in 1 2 3; do pkill -TERM -P "${pids[$i]}" || true; done
  wait "${pids[@]}" 2>/dev/null || true
  [ -z "$(ls "$dir/in")" ] || fail "$dir: the watch folder is not empty: $(ls "$dir/in" | head -3)"
  [ -z "$(ls -A "$dir/in/.capsel-claims" 2>/dev/null)" ] || fail "$dir: claims are left: $(find "$dir/in/.capsel-claims" | head -3)"
  whole "$dir" move $(names) || fail "$dir: an SRT file or moved input is missing or not whole"
  [ "$(ls "$dir/done" | wc -l)" = 3000 ] && [ "$(ls "$dir/out" | wc -l)" = 3000 ] || fail "$dir: not exactly one of each"
  lines() { cat "$work"/capsel[123].log | cut -c22- | grep -c "^$1" || true; }
  [ "$(lines 'Moving ')" = 3000 ] || fail "$dir: $(lines 'Moving ') moves logged"
  # A conversion cut short: a Processing line with no Moving line after it in its own log.
  local cut=0 n
  for i in 1 2 3; do
    n=$(cut -c22- "$work/capsel$i.log" | awk '/^Processing / { cut += pending; pending = 1 } /^Moving / { pending = 0 } END { print cut + pending }')
    cut=$((cut + n))
  done
  [ "$(lines Processing)" = $((3000 + cut)) ] && [ "$cut" -le 5 ] || fail "$dir: $(lines Processing) conversions logged, $cut cut short"
  ! cat "$work"/capsel[123].log | grep -q -e ERROR -e Error || fail "$dir: errors logged"
  echo "$dir: 3,000 documents once each; $cut conversions cut short by the 5 kills"
  rm -f "$work"/capsel[123].log
}

shared() {
  mkdir -p "$work/documents" && "$generate" "$work/documents" 3000 100 d 9
  settings "$work/reference" && cp "$work/documents/"* "$work/reference/in/" && once "$work/reference" || fail "reference run"
  declare -a pids=()
  on_one_folder "$work/local"
  if ! grep -qw nfs /proc/filesystems; then
    echo "SKIP: over NFS: this kernel has no NFS client (no nfs in /proc/filesystems)"
  fi
}

[ -z "${CAPSEL_TRACE:-}" ] || set -x
"$section"
echo "system test $section passed"
