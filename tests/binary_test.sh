#!/usr/bin/env bash
# The built capsel binary on real folders: what only the whole program shows. One section per
# run; the rules behind each are tested on their own units.
#  cli      --version, --help and a bad option; the exit status and standard error of a run
#           (all converted, no settings file, a newer settings file, a document that does not
#           load, a missing watch folder); the settings file found beside the executable by its
#           name; the date stamp; a window module that does not load, gives no version or
#           another one than capsel's: capsel says so and runs headless; one of its version
#           runs; a log file that is a FIFO or cannot be created: the run goes on, standard
#           error says so once.
#  signals  started without a display and without --headless, capsel says so and runs
#           headless: the poll timer takes a dropped file, SIGHUP reloads the settings, the
#           watch folder removed and made again gives one line each way and a file dropped then
#           is taken, and SIGTERM ends the program with status 0.
#  names    awkward file names (blanks, quotes, shell characters, non-ASCII, control
#           characters) are converted under their own name; a file rewritten while capsel
#           reads it neither crashes capsel nor is lost.
#  memory   a file larger than the memory limit, and a subtitle of 400 MB of text, are reported
#           and the scan goes on.
#  service  --check on a table of settings files: status and lines; a mixed run's results file
#           and metrics file (promtool accepts it) agree; into the journal (JOURNAL_STREAM
#           names standard output) each line carries its priority.
#   binary_test.sh CAPSEL DOCUMENT SRT cli|signals|names|memory|service  (SRT: DOCUMENT's conversion)
set -euo pipefail
capsel=$(realpath "$1") document=$(realpath "$2") srt=$(realpath "$3") section=$4
work=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $section: $*"; [ ! -f "$work/out.txt" ] || cat "$work/out.txt" "$work/err.txt"; exit 1; }
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# settings [EXTRA]: $work/capsel.ini for the folders in, out and done beside it.
settings() {
  mkdir -p "$work"/{in,out,done}
  printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\n%s' \
    "${1:-}" >"$work/capsel.ini"
}
# run ARGS...: capsel's exit status; its output in $work/out.txt and $work/err.txt.
run() { "$@" >"$work/out.txt" 2>"$work/err.txt" && echo 0 || echo $?; }
once() { run timeout -k 5 100 "$capsel" --headless --once --config "$work/capsel.ini"; }
# drop NAME [FILE]: FILE (the document) into the watch folder as NAME.xml, a minute old.
drop() { cp "${2:-$document}" "$work/in/$1.xml" && touch -d '-1 minute' "$work/in/$1.xml"; }
converted() { cmp -s "$work/out/$1.srt" "$srt" && [ -e "$work/done/$1.xml" ]; }

cli() {
  [ "$(run "$capsel" --version)" = 0 ] && capsel_version=$(cat "$work/out.txt") && [ "$capsel_version" = "capsel 1.0.0.8" ] || fail "--version"
  [ "$(run "$capsel" --help)" = 0 ] && grep -q -- --headless "$work/out.txt" || fail "--help"
  [ "$(run "$capsel" --config)" = 64 ] || fail "a bad command line is not status 64"

  settings && drop doc
  [ "$(once)" = 0 ] && [ ! -s "$work/err.txt" ] && converted doc || fail "all converted: not status 0"
  [ "$(run "$capsel" --headless --once --config "$work/site.conf")" = 1 ] || fail "no settings file: not status 1"
  [ "$(cat "$work/err.txt")" = "Error: Error while reading site.conf. The file is probably missing or corrupt. The application will now terminate." ] ||
    fail "no settings file: standard error"
  settings && sed -i 's/^Version=1/Version=2/' "$work/capsel.ini"
  [ "$(once)" = 0 ] || fail "a newer settings file: not status 0"
  [ "$(cat "$work/err.txt")" = "Warning: The file capsel.ini is not compatible with this version of capsel. Dazed and confused, but trying to continue." ] ||
    fail "a newer settings file: standard error"
  settings && echo '<tt' >"$work/in/bad.xml" && touch -d '-1 minute' "$work/in/bad.xml"
  [ "$(once)" = 2 ] && [ -e "$work/done/bad.xml" ] || fail "a document that does not load: not status 2, or not moved"
  rm -r "$work/in" && [ "$(once)" = 2 ] && grep -q "  ---- ERROR: The watch folder in/ does not exist$" "$work/out.txt" || fail "no watch folder: not status 2"

  # A FIFO nobody reads would hold every line forever; a missing folder cannot take the file.
  mkfifo "$work/fifo.log"
  local log
  for log in fifo.log:"not an ordinary file" nowhere/capsel.log:"No such file or directory"; do
    settings "$(printf '[General]\nUseLogfile=1\n[Folders]\nLogfileName=%s' "${log%%:*}")" && drop doc
    [ "$(once)" = 0 ] && converted doc || fail "log file ${log%%:*}: the run did not go on"
    [ "$(cat "$work/err.txt")" = "capsel: cannot write the log file ${log%%:*} (${log#*:})" ] ||
      fail "log file ${log%%:*}: standard error"
  done

  mkdir "$work/exe" && cp "$capsel" "$work/exe/subs"
  printf '[General]\nVersion=1\n' >"$work/exe/subs.ini"
  [ "$(run "$work/exe/subs" --once)" = 0 ] || fail "beside the executable: the run failed"
  grep -q "  Reading $work/exe/subs.ini\.\.\.$" "$work/out.txt" || fail "the settings beside the executable were not read"
  [ "$(head -c 11 "$work/out.txt")" = "$(date '+%d.%m.%Y ')" ] || fail "lines are not stamped with the local date"

  # Window modules beside the executable, so the one tried: one that does not load, one without
  # a version, the real one with its version text changed, each refused with one line, after
  # which the missing settings end the headless run (status 1, a second line, not a message
  # box); and one of capsel's own version, whose entry runs (status 99).
  # CFLAGS|STATUS|LINE; CFLAGS empty: an empty file, "real": the module built beside capsel.
  local version=${capsel_version#capsel } module=$(realpath "$work")/nowin/capsel-window.so row cflags status line
  mkdir "$work/nowin" && cp "$capsel" "$work/nowin/capsel" &&
    printf '#ifdef V\nconst char *capsel_window_version(void) { return V; }\n#endif\nint capsel_run_window(void) { return 99; }\n' >"$work/module.c"
  for row in "|1|cannot load the window from $module ($module: file too short), running headless" \
             "-DNONE|1|the window module $module gives no version, this capsel is $version; running headless" \
             "real|1|the window module $module is version ${version//[0-9]/9}, this capsel is $version; running headless" \
             "-DV=\"$version\"|99|"; do
    IFS='|' read -r cflags status line <<<"$row"
    case $cflags in
      "") : >"$module" ;;
      real) LC_ALL=C sed "s/${version//./\\.}/${version//[0-9]/9}/g" "$(dirname "$capsel")/capsel-window.so" >"$module" ;;
      *) cc -shared -fPIC $cflags -o "$module" "$work/module.c" ;;
    esac
    [ "$(QT_QPA_PLATFORM=offscreen run timeout -k 5 100 "$work/nowin/capsel")" = "$status" ] &&
      { [ "$status$(cat "$work/err.txt")" = 99 ] || { [ "$(head -n 1 "$work/err.txt")" = "capsel: $line" ] && [ "$(wc -l <"$work/err.txt")" = 2 ]; }; } ||
      fail "window module ${cflags:-empty}: status or standard error"
  done
}

signals() {
  settings "" && mkdir "$work/new"
  # Under a time limit, so that a capsel that ignores signals cannot outlive the test.
  timeout -s KILL 100 "$capsel" --config "$work/capsel.ini" >"$work/out.txt" 2>"$work/err.txt" &
  pid=$!
  # logged TEXT: waits up to 15 s for a line ending in TEXT.
  logged() { for _ in $(seq 150); do grep -qF -- "$1" "$work/out.txt" && return 0; sleep 0.1; done; return 1; }
  logged "Watchfolder for incoming XML EBU-TT files is: in/." || fail "no start-up"
  cp "$document" "$work/in/.dropped.part" && touch -d '-1 minute' "$work/in/.dropped.part"
  mv "$work/in/.dropped.part" "$work/in/dropped.xml"
  logged "Moving dropped.xml to done/" && converted dropped || fail "the timer did not take a dropped file"
  sed -i 's|^OutPathSrt=out|OutPathSrt=new|' "$work/capsel.ini"
  kill -HUP "$pid"
  logged "  ---- Settings reloaded from $work/capsel.ini" || fail "SIGHUP did not reload"
  drop after
  logged "Moving after.xml to done/" && cmp -s "$work/new/after.srt" "$srt" || fail "the reloaded settings were not used"
  rm -r "$work/in" && logged "  ---- ERROR: The watch folder in/ does not exist" && sleep 5 && mkdir "$work/in" || fail "no line for the folder gone"
  logged "  ---- The watch folder in/ is back" && drop back || fail "no line for the folder back"
  logged "Moving back.xml to done/" && cmp -s "$work/new/back.srt" "$srt" || fail "a file dropped into the folder back was not taken"
  [ "$(grep -c "The watch folder in/" "$work/out.txt")" = 2 ] || fail "the watch folder's lines came more than once"
  # One SIGTERM to capsel itself, as systemd sends it (timeout would pass on two).
  pkill -TERM -P "$pid"
  wait "$pid" && status=0 || status=$?
  pid=""
  [ "$status" = 0 ] || fail "SIGTERM: status $status"
  [ "$(cat "$work/err.txt")" = "capsel: no display found, running headless" ] || fail "standard error: $(cat "$work/err.txt")"
}

names() {
  settings
  local name names=("-leading dash" "blanks and 'single' \"double\" quotes" "ümlaut ñ 日本"
    'semi;colon $HOME `x`' $'a\nb\rc\e[2Jd\x7f')
  for name in "${names[@]}"; do drop "$name"; done
  [ "$(once)" = 0 ] || fail "awkward names: not status 0"
  for name in "${names[@]}"; do converted "$name" || fail "not converted under its own name: $name"; done

  rm -rf "$work"/{in,out,done} && settings
  head -c 2000000 /dev/zero | tr '\0' ' ' >"$work/blanks"
  # The document with two million blanks before its div's end tag.
  { sed 's|</div>.*||' "$document"; cat "$work/blanks"; sed -n 's|.*\(</div>\)|\1|p' "$document"; } >"$work/big.xml"
  drop moving "$work/big.xml"
  (while [ ! -e "$work/stop" ]; do cp "$work/big.xml" "$work/in/moving.xml"; head -c 100 "$document" >"$work/in/moving.xml"; done) &
  local writer=$!
  status=$(once)
  touch "$work/stop" && wait "$writer"
  [ "$status" = 0 ] || [ "$status" = 2 ] || fail "a file rewritten while read: status $status"
  [ -e "$work/done/moving.xml" ] || [ -e "$work/in/moving.xml" ] || fail "a file rewritten while read was lost"
}

memory() {
  settings && truncate -s 2000000000 "$work/in/a_huge.xml" && drop b_next
  # One subtitle of 400 MB of text, which would need far more memory than the limit to hold.
  { sed 's|Hello.*||' "$document"; head -c 400000000 /dev/zero | tr '\0' a; sed -n 's|.*Hello||p' "$document"; } >"$work/in/a_long.xml"
  touch -d '-1 minute' "$work/in/a_huge.xml" "$work/in/a_long.xml"
  [ "$(run prlimit --as=1500000000 "$capsel" --headless --once --config "$work/capsel.ini")" = 2 ] || fail "not status 2"
  grep -q "  ---- XML error in line 1, column 1: Document is empty$" "$work/out.txt" || fail "no error line"
  grep -q "  ---- A subtitle in a_long.xml holds more than 1 MB of text$" "$work/out.txt" || fail "no line for the long subtitle"
  [ -e "$work/done/a_huge.xml" ] && [ -e "$work/done/a_long.xml" ] && converted b_next || fail "the scan did not go on"
}

service() {
  # As an ordinary user, for whom a folder's mode counts.
  local as=() owner=$(id -u) name prep want line
  [ "$owner" != 0 ] || { as=(setpriv --reuid=65534 --regid=65534 --clear-groups) owner=65534 && chmod 755 "$work"; }
  while IFS='|' read -r name prep want line; do
    rm -rf "$work"/{in,out,done,ro} && settings && eval "$prep" && chown -R "$owner" "$work"
    [ "$(run "${as[@]}" "$capsel" --check --config "$work/capsel.ini")" = "$want" ] || fail "--check, $name: status"
    [ "$(cat "$work/err.txt")" = "$(eval echo "\"$line\"")" ] || fail "--check, $name: standard error"
    grep -qx "InPath = $work/in" "$work/out.txt" || fail "--check, $name: the values"
  done <<'EOF'
good|:|0|
missing folder|sed -i 's/^OutPathSrt=.*/OutPathSrt=gone/' capsel.ini|3|capsel: OutPathSrt $work/gone/ cannot be used: No such file or directory
unwritable folder|chmod 555 out|3|capsel: OutPathSrt $work/out/ cannot be used: Permission denied
OutPathXml is the watch folder|sed -i 's/^OutPathXml=.*/OutPathXml=in/' capsel.ini|3|capsel: OutPathXml is the watch folder; processed files could not leave it
unwritable log file|mkdir -m 555 ro && printf '[General]\nUseLogfile=1\n[Folders]\nLogfileName=ro/c.log' >>capsel.ini|3|capsel: LogfileName $work/ro/c.log cannot be written: Permission denied
EOF
  [ "$(run "$capsel" --check --config "$work/none.ini")" = 1 ] || fail "--check without a settings file: not status 1"

  settings "$(printf '[General]\nResultsFile=r.jsonl\nMetricsFile=m.prom\n')" && drop a && drop b
  echo '<tt' >"$work/in/c.xml" && : >"$work/out.txt"
  [ "$(JOURNAL_STREAM=$(stat -c %d:%i "$work/out.txt") once)" = 2 ] || fail "mixed run: not status 2"
  promtool check metrics <"$work/m.prom" || fail "promtool refuses the metrics"
  for result in converted failed; do
    [ "$(grep -c "\"result\":\"$result\"" "$work/r.jsonl")" = "$(sed -n "s/^capsel_files_total{result=\"$result\"} //p" "$work/m.prom")" ] ||
      fail "the results file and the metrics differ for $result"
  done
  grep -q '^<3>.*  ---- XML error in line' "$work/out.txt" && grep -q '^<6>.*  Processing a.xml' "$work/out.txt" &&
    [ "$(grep -vc '^<[346]>' "$work/out.txt")" = 0 ] || fail "journal lines without their priority"
}

cd "$work"
"$section"
echo "binary test $section passed"
