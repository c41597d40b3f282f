#!/usr/bin/env bash
# Converts every document of the corpus with WriteVtt=1 and StyleTags=1 and checks each WebVTT
# file with a real WebVTT parser (the npm package webvtt-parser, installed into the build
# folder on first use): no parse errors, and as many cues as the SRT file beside it.
#   tests/vtt_test.sh CAPSEL CORPUS BUILD_DIR
set -euo pipefail
capsel=$1 corpus=$2 build=$3
here=$(cd "$(dirname "$0")" && pwd)
[ -d "$corpus" ] || { echo "SKIP: no corpus at $corpus"; exit 77; }
parser="$build/node_modules/webvtt-parser"
if [ ! -d "$parser" ]; then
  npm install --silent --no-audit --no-fund --prefix "$build" webvtt-parser@2.2.0 >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out" "$work/done"
for f in "$corpus"/*; do
  case "$f" in *.md) continue ;; esac
  name=$(basename "$f")
  cp "$f" "$work/in/${name%.*}.xml"
done
touch -d '1 minute ago' "$work"/in/*
printf '[General]\nVersion=1\nUseLogfile=0\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\nWriteVtt=1\nStyleTags=1\n' \
  >"$work/capsel.ini"
"$capsel" --headless --once --config "$work/capsel.ini" >"$work/log.txt" || true
shopt -s nullglob
vtts=("$work"/out/*.vtt)
srts=("$work"/out/*.srt)
[ ${#vtts[@]} -gt 50 ] && [ ${#vtts[@]} -eq ${#srts[@]} ] ||
  { echo "expected one .vtt for each of ${#srts[@]} .srt files, got ${#vtts[@]}"; exit 1; }
NODE_PATH="$build/node_modules" node "$here/vtt/validate.js" "${vtts[@]}" >"$work/checked.txt" ||
  { grep INVALID "$work/checked.txt"; exit 1; }
while read -r path cues; do
  srt=${path%.vtt}.srt
  blocks=$(grep -c -- ' --> ' "$srt" || true)
  [ "$cues" -eq "$blocks" ] || { echo "$(basename "$path"): $cues cues, SRT has $blocks"; exit 1; }
done <"$work/checked.txt"
echo "vtt ok: ${#vtts[@]} files valid, cue counts equal to the SRT files'"
