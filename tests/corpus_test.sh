#!/usr/bin/env bash
# Converts every document of the shared corpus of real-world documents four times, as it is,
# with StyleTags, SubtractStartOfProgramme and WriteVtt, with Overlaps=2 and WriteVtt, and with
# PositionTags=2 and WriteVtt, and checks what only such documents show:
#  - every SRT file is SubRip as players read it: blocks of a number counting from 1, a timing
#    line and text lines, each block ended by one empty line, CR LF after every line only;
#  - text that the documents say must never show does not, and a few lines that only they
#    show are as they must be;
#  - a time that does not read, or an end that nothing in the document gives, is one File Error
#    line each (the counts below are what those documents hold), and the documents that are not
#    namespace-well-formed (an undeclared prefix, the xml namespace bound to another prefix)
#    are refused;
#  - ffmpeg's SRT reader reads every SRT file back with one packet, at its begin, for each entry
#    that has text (it drops an entry equal to another in time and text: distinct entries
#    count), so no text line passes for a timing line;
#  - each WebVTT file passes a real WebVTT parser (the npm package webvtt-parser, installed
#    into the build folder on first use) and has as many cues as the SRT file beside it;
#  - with Overlaps=2 no two entries overlap, and each SRT file shows the same lines at every
#    moment as the one written as it is (tests/same_moments.py);
#  - with PositionTags=2 the documents that put text at the top have it tagged so, and those with
#    EBU-TT-D's classic bottom region (10% 10%, 80% 80%, displayAlign after) have no tag at all.
#   tests/corpus_test.sh CAPSEL CORPUS BUILD_DIR
set -euo pipefail
capsel=$1 corpus=$2 build=$3
here=$(cd "$(dirname "$0")" && pwd)
[ -d "$corpus" ] || { echo "SKIP: no corpus at $corpus"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

file_errors='dashjs__ttmlLastCue 1
imscjs__timeExpressions 12
ttconv__lwsp_default 2
ttconv__lwsp_preserve 1
w3cimsc__BasicTiming012 1
w3cimsc__BeginEnd002 11
w3cimsc__unicode-non-bmp-character 1
w3cttml1__ThirdEd_Direction_hebrew 1'
refused='exo__multiple_regions
exo__namespace_confusion_MALFORMED
exo__namespace_not_declared_MALFORMED'

# is_srt FILE: whether FILE is SubRip as described above.
is_srt() {
  [ ! -s "$1" ] || [ -z "$(tail -c 1 "$1")" ] || return 1
  awk 'BEGIN { at = "number" }
    !/\r$/ { exit 1 }
    { sub(/\r$/, "") }
    /\r/ { exit 1 }
    at == "number" { if ($0 != ++n) exit 1; at = "timing"; next }
    at == "timing" {
      if ($0 !~ /^[0-9][0-9]+:[0-9][0-9]:[0-9][0-9],[0-9][0-9][0-9] --> [0-9][0-9]+:[0-9][0-9]:[0-9][0-9],[0-9][0-9][0-9]$/) exit 1
      at = "text"; next }
    $0 == "" { at = "number" }
    END { if (at != "number") exit 1 }' "$1"
}

# convert RUN SETTINGS: the corpus converted in $work/RUN, its log lines without time stamps in
# $work/RUN/log.txt.
convert() {
  local dir=$work/$1 f name
  mkdir -p "$dir"/{in,out,done}
  for f in "$corpus"/*; do
    [ "${f##*.}" != md ] || continue
    name=$(basename "$f")
    cp "$f" "$dir/in/${name%.*}.xml"
  done
  printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\n%s' \
    "$2" >"$dir/capsel.ini"
  timeout -k 5 100 "$capsel" --headless --once --config "$dir/capsel.ini" | cut -c22- >"$dir/log.txt" || true
  # Lines per document: its File Error lines, and whether it was refused.
  awk '/^Processing / { doc = substr($0, 12, length($0) - 18) }
    $0 == "---- ERROR: File Error (maybe missing write permissions?)" { errors[doc]++ }
    $0 == "Error while processing XML file. Skipping file." { print doc >"'"$dir/refused.txt"'" }
    END { for (d in errors) print d, errors[d] }' "$dir/log.txt" | sort >"$dir/file_errors.txt"
  touch "$dir/refused.txt"
  diff <(echo "$file_errors") "$dir/file_errors.txt" || fail "$1: File Error lines other than expected"
  diff <(echo "$refused") <(sort "$dir/refused.txt") || fail "$1: other documents refused than expected"
  local documents srts
  documents=$(ls "$dir/done" | wc -l)
  srts=$(ls "$dir/out"/*.srt | wc -l)
  [ "$documents" -gt 50 ] && [ "$srts" -eq $((documents - $(wc -l <<<"$refused"))) ] ||
    fail "$1: $srts SRT files for $documents documents"
  for f in "$dir"/out/*.srt; do is_srt "$f" || fail "$1: $(basename "$f") is not SubRip as players read it"; done
  ! grep -l -e 'must not appear' -e 'should not appear' -e 'should not be displayed' "$dir"/out/*.srt ||
    fail "$1: text that must never show is shown"
}

convert plain ""
# Lines that only real documents show: spans that run on within a line, a paragraph hidden
# until a set shows it, a ruby with two readings, a line feed after preserved white space.
while IFS='|' read -r doc line; do
  grep -qxF "$line"$'\r' "$work/plain/out/$doc.srt" || fail "$doc.srt lacks the line: $line"
done <<'EOF2'
rosetta__GenericTestAllStyles2+ja|red yellow green cyan blue magenta
w3cimsc__MediaParTiming002|00:00:05,000 --> 00:00:10,000
w3cimsc__ruby002|東南（とうなん）の方角
ttconv__lwsp_preserve|name is Mathilda
EOF2
convert extras $'StyleTags=1\nSubtractStartOfProgramme=1\nWriteVtt=1\n'
convert split $'Overlaps=2\nWriteVtt=1\n'
python3 "$here/same_moments.py" "$work/plain/out" "$work/split/out" || fail "Overlaps=2 changed what is shown"
convert places $'PositionTags=2\nWriteVtt=1\n'
while IFS='|' read -r doc line; do
  grep -qxF "$line"$'\r' "$work/places/out/$doc.srt" || fail "$doc.srt lacks the line: $line"
done <<'EOF2'
exo__netflix_japanese_ttml|{\an8}I.2 Acronyms
rosetta__GenericTestAllStyles2+ja|{\an8}row 3
w3cimsc__BasicTiming012|{\an9}This
EOF2
grep -qx '00:00:10.000 --> 00:00:12.000 line:10%'$'\r' "$work/places/out/exo__netflix_japanese_ttml.vtt" ||
  fail "exo__netflix_japanese_ttml.vtt: its first cue is not at the top"
for doc in irt__br-in-p-001-ttml irt__content-in-multiple-div-001-ttml irt__timing-on-span-001-ttml \
  scf__ttml2srtxml_req-0853-001_clock_variants scf__ttml2srtxml_req-0855-006_two_lines; do
  ! grep -q -e '{\\an' "$work/places/out/$doc.srt" || fail "$doc.srt: a tag in the classic bottom region"
  ! grep -q -e '--> .* ' "$work/places/out/$doc.vtt" || fail "$doc.vtt: a cue setting in the classic bottom region"
done

# The begin (in ms) of each distinct entry with text, against the packets ffmpeg reads.
for f in "$work"/plain/out/*.srt "$work"/extras/out/*.srt "$work"/places/out/*.srt; do
  tr -d '\r' <"$f" | awk 'BEGIN { RS = "" } { cue = substr($0, index($0, "\n") + 1) }
    index(cue, "\n") && !seen[cue]++ { split(cue, t, /[:,]/); print ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4] }' |
    sort -n >"$work/written.txt"
  ffprobe -v error -f srt -show_entries packet=pts -of csv=p=0 "$f" | sort -n >"$work/read.txt"
  diff -q "$work/written.txt" "$work/read.txt" >/dev/null || fail "ffmpeg reads other entries of $f than written"
done

parser="$build/node_modules/webvtt-parser"
[ -d "$parser" ] || npm install --silent --no-audit --no-fund --prefix "$build" webvtt-parser@2.2.0 >/dev/null
vtts=("$work"/{extras,split,places}/out/*.vtt)
[ ${#vtts[@]} -eq "$(ls "$work"/{extras,split,places}/out/*.srt | wc -l)" ] || fail "not one WebVTT file for each SRT file"
NODE_PATH="$build/node_modules" node "$here/vtt/validate.js" "${vtts[@]}" >"$work/checked.txt" ||
  { grep INVALID "$work/checked.txt"; exit 1; }
while read -r path cues; do
  blocks=$(grep -c -- ' --> ' "${path%.vtt}.srt" || true)
  [ "$cues" -eq "$blocks" ] || fail "$(basename "$path"): $cues cues, its SRT file $blocks"
done <"$work/checked.txt"
echo "corpus ok: $(ls "$work/plain/done" | wc -l) documents four times, every SRT file valid, ${#vtts[@]} WebVTT files valid"
