#!/usr/bin/env bash
# Installs what is missing, builds capsel and its window module in build/ (the plain build,
# without the tests, the one the README installs and packs; the tests build in build-test/),
# sets up a demo beside it on first use and starts it: with a window where there is a display,
# headless otherwise.
# Drop an EBU-TT file into build/in and watch it turn into build/out/NAME.srt.
set -euo pipefail
CAPSEL_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$CAPSEL_ROOT/scripts/common.sh"

ensure_packages "${CAPSEL_BUILD_PACKAGES[@]}" "${CAPSEL_RUN_PACKAGES[@]}"
build="$CAPSEL_ROOT/build"
configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release -DCAPSEL_BUILD_TESTS=OFF

if [ ! -f "$build/capsel.ini" ]; then
  mkdir -p "$build/in" "$build/out" "$build/done"
  cat > "$build/capsel.ini" <<'INI'
; capsel demo settings: folders are relative to this file's folder.
[General]
Version=1
Verbose=0
UseLogfile=1

[Folders]
InPath=in
OutPathSrt=out
OutPathXml=done
LogfileName=capsel.log

[Processing]
WriteUtf8=1
AddLangString=
INI
  echo "Demo set up: drop EBU-TT files into $build/in; SRT files appear in $build/out."
fi
exec "$build/capsel" "$@"
