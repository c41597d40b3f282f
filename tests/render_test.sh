#!/usr/bin/env bash
# What a viewer sees: capsel's output drawn by a real renderer, read back as pixels.
#  overlaps  a dialogue of two paragraphs with equal times, drawn by libass (ffmpeg's subtitles
#            filter, as mpv, VLC and Kodi draw SRT): with Overlaps=1 the first paragraph's line
#            stands above the second's; with Overlaps=0 libass stacks the later entry on top,
#            which is why the setting exists.
#  positions a top, a bottom and a left cue written with PositionTags=2, drawn by libass from the
#            SRT file and by headless Chromium from the WebVTT file: each one's bright pixels lie
#            in its third of the picture.
#   render_test.sh CAPSEL CASES_DIR overlaps|positions
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

# box: the first and last row and column of the bright pixels of a 640-wide gray picture on
# standard input, as "TOP BOTTOM LEFT RIGHT" (0-based); nothing when there are none.
box() {
  od -An -v -tu1 -w640 | awk '{ for (i = 1; i <= NF; i++) if ($i > 128) {
      if (!seen) { t = NR; l = i; r = i; seen = 1 } b = NR; if (i < l) l = i; if (i > r) r = i } }
    END { if (seen) print t - 1, b - 1, l - 1, r - 1 }'
}
libass_box() {
  ffmpeg -v error -f lavfi -i color=black:s=640x360:d=10:r=10 -vf "subtitles=$1" -ss "$2" -frames:v 1 \
    -f rawvideo -pix_fmt gray - | box
}
# chromium_box VTT SECONDS: the same for the WebVTT file drawn by a browser over a black video,
# pictured once the seek is done and the cues of that moment have been drawn.
chromium_box() {
  [ -f "$work/black.webm" ] ||
    ffmpeg -v error -f lavfi -i color=black:s=640x360:d=8:r=5 -c:v libvpx -g 5 "$work/black.webm"
  cp "$1" "$work/cues.vtt"
  cat >"$work/page.html" <<HTML
<html><body style="margin:0;background:#000"><video muted src="black.webm" style="width:640px;height:360px">
<track default kind="subtitles" src="cues.vtt"></video><script>
const v = document.querySelector('video');
v.addEventListener('loadeddata', () => { v.textTracks[0].mode = 'showing'; v.currentTime = $2; });
v.addEventListener('seeked', () => requestAnimationFrame(() => requestAnimationFrame(() => { window.shotReady = true; })));
</script></body></html>
HTML
  rm -f "$work/shot.png"
  node "$(dirname "$0")/chromium_shot.js" "$work/page.html" "$work/shot.png" || fail "chromium made no screenshot"
  ffmpeg -v error -i "$work/shot.png" -f rawvideo -pix_fmt gray - | box
}

positions() {
  command -v chromium >/dev/null || { echo "SKIP: no chromium"; exit 77; }
  cat >"$work/places.xml" <<'XML'
<tt xmlns="http://www.w3.org/ns/ttml" xmlns:tts="http://www.w3.org/ns/ttml#styling"><head><layout>
<region xml:id="top" tts:origin="10% 5%" tts:extent="80% 20%"/>
<region xml:id="low-left" tts:origin="0% 70%" tts:extent="30% 25%" tts:displayAlign="after" tts:textAlign="left"/>
</layout></head><body><div>
<p begin="1s" end="2s" region="top">TOP</p><p begin="3s" end="4s">BOTTOM</p><p begin="5s" end="6s" region="low-left">LEFT</p>
</div></body></tt>
XML
  convert "$work/places.xml" $'PositionTags=2\nWriteVtt=1'
  local renderer at b
  for renderer in libass chromium; do
    for at in 1.5:top 3.5:bottom 5.5:left; do
      if [ $renderer = libass ]; then b=$(libass_box "$work/out/doc.srt" "${at%%:*}"); else b=$(chromium_box "$work/out/doc.vtt" "${at%%:*}"); fi
      read -r top bottom left right <<<"${b:-x x x x}"
      [ "$top" != x ] || fail "$renderer drew nothing for the ${at#*:} cue"
      case ${at#*:} in
        top) [ "$bottom" -lt 120 ] || fail "$renderer: the top cue is not in the top third: $b" ;;
        bottom) [ "$top" -ge 240 ] || fail "$renderer: the bottom cue is not in the bottom third: $b" ;;
        left) [ "$top" -ge 240 ] && [ "$right" -lt 213 ] || fail "$renderer: the left cue is not bottom left: $b" ;;
      esac
    done
  done
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
