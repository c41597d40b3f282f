#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UBSan in build-fuzz/
# and runs each for SECONDS (default 60). Its first inputs come from tests/data and, where it
# is there, the shared corpus of real documents. A crash, leak, timeout or sanitizer report fails the
# run and leaves the input that caused it in build-fuzz/findings/.
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
CAPSEL_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$CAPSEL_ROOT/scripts/common.sh"
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_document fuzz_settings)

ensure_packages clang libclang-rt-14-dev "${CAPSEL_BUILD_PACKAGES[@]}"
build="$CAPSEL_ROOT/build-fuzz"
configure_and_build "$build" -DCMAKE_CXX_COMPILER=clang++ -DCAPSEL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

starting_inputs() {
  local target=$1 dir="$build/start/$1"
  rm -rf "$dir" && mkdir -p "$dir"
  case "$target" in
    fuzz_document)
      # The first byte picks the options (0x03 turns both on), the second the sizes of the
      # pieces the document is fed in.
      for f in "$CAPSEL_ROOT"/tests/data/cases/*.xml "$CAPSEL_ROOT"/../shared/corpus/*.{xml,ttml,imscr}; do
        [ -f "$f" ] && { printf '\003\027'; cat "$f"; } >"$dir/$(basename "$f")"
      done ;;
    fuzz_settings)
      cp "$CAPSEL_ROOT/res/capsel.ini" "$dir/service.ini"
      printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath="in dir"\nOutPathXml=<DELETE>\n' >"$dir/demo.ini"
      printf '\357\273\277[general]\r\nversion = 2\r\n;comment\r\n[Processing]\r\nWriteUtf8=yes\r\n' >"$dir/bom.ini" ;;
  esac
  echo "$dir"
}

status=0
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$work" "$findings"
  start_dir=$(starting_inputs "$target")
  echo "== $target for $seconds s"
  if ! (cd "$findings" && "$build/$target" "$work" "$start_dir" -max_total_time="$seconds" \
          -timeout=10 -rss_limit_mb=2048 -max_len=1048576 -print_final_stats=1 2>"$build/$target.log"); then
    echo "FAIL: $target found a problem; see $build/$target.log and $findings"
    tail -n 40 "$build/$target.log"
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/$target.log" | tail -n 2 || true
done
exit $status
