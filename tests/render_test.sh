#!/usr/bin/env bash
# What a viewer sees: capsel's output drawn by a real renderer, read back as pixels.
#  overlaps  a dialogue of two paragraphs with equal times, drawn by libass (ffmpeg's subtitles
#            filter, as mpv, VLC and Kodi draw SRT): with Overlaps=1 the first paragraph's line
#            stands above the second's; with Overlaps=0 libass stacks the later entry on top,
#            which is why the setting exists.
#   render_test.sh CAPSEL CASES_DIR overlaps
set -euo pipefail
capsel=$(realpath "$1") cases=$(realpath "$2") section=$3
command -v ffmpeg >/dev/null || { echo "SKIP: no ffmpeg"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $section: $*"; exit 1; }

# convert DOC PROCESSING: DOC through capsel with those [Processing] lines; its SRT in $work/out.
convert() {
  rm -rf "$work"/{in,out,done} && mkdir -p "$work"/{in,out,done} && cp "$1" "$work/in/doc.xml"
  printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\n%s\n' "$2" >"$work/capsel.ini"
  timeout -k 5 60 "$capsel" --headless --once --config "$work/capsel.ini" >/dev/null || fail "capsel failed on $1"
}
# libass_bands SRT SECONDS: each band of bright rows in a 640x360 picture at that time, top
# first, as "FIRST_ROW WIDTH".
libass_bands() {
  ffmpeg -v error -f lavfi -i color=black:s=640x360:d=10:r=10 -vf "subtitles=$1" -ss "$2" -frames:v 1 \
    -f rawvideo -pix_fmt gray - | od -An -v -tu1 -w640 |
    awk '{ lo = 0; hi = 0; for (i = 1; i <= NF; i++) if ($i > 128) { if (!lo) lo = i; hi = i }
           if (hi) { if (!inband) { n++; top[n] = NR; l[n] = lo; h[n] = hi } else { if (lo < l[n]) l[n] = lo; if (hi > h[n]) h[n] = hi }
                     inband = 1 } else inband = 0 }
         END { for (b = 1; b <= n; b++) print top[b], h[b] - l[b] }'
}

overlaps() {
  # "Where were you?" is the wider line: which band is wider tells which paragraph is on top.
  local mode bands
  for mode in 1:wider-on-top 0:narrower-on-top; do
    convert "$cases/overlaps-kept-equal-times.xml" "Overlaps=${mode%%:*}"
    bands=$(libass_bands "$work/out/doc.srt" 2)
    [ "$(wc -l <<<"$bands")" = 2 ] || fail "Overlaps=${mode%%:*}: not two lines of text: $bands"
    if [ "${mode#*:}" = wider-on-top ]; then
      [ "$(head -1 <<<"$bands" | cut -d' ' -f2)" -gt "$(tail -1 <<<"$bands" | cut -d' ' -f2)" ] || fail "merged: the first line is not on top: $bands"
    else
      [ "$(head -1 <<<"$bands" | cut -d' ' -f2)" -lt "$(tail -1 <<<"$bands" | cut -d' ' -f2)" ] || fail "kept: libass no longer stacks the later entry on top: $bands"
    fi
  done
}

"$section"
echo "render test $section passed"
