#!/usr/bin/env bash
# An idle capsel (headless, scanning every two seconds) for SECONDS (default 600): the CPU
# time it used and its resident memory at the start and the end. The watch folder holds
# OTHER_FILES empty files that are not *.xml (default 0: it is empty).
#   bench/idle.sh [SECONDS] [BUILD_DIR] [OTHER_FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
build=$(cd "${2:-$root/build-test}" && pwd)
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
others=${3:-0}
mkdir -p "$work/in" "$work/out" "$work/done"
python3 -c "
import os
for i in range($others): os.close(os.open(f'$work/in/other-{i:06d}.txt', os.O_CREAT | os.O_WRONLY))"
printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n' >"$work/capsel.ini"
"$build/capsel" --headless --config "$work/capsel.ini" >/dev/null 2>&1 &
pid=$!
sleep 10  # past the start
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
rss() { awk '/VmRSS/{print $2}' "/proc/$pid/status"; }
cpu0=$(ticks) rss0=$(rss) t0=$(date +%s.%N)
sleep "$seconds"
cpu1=$(ticks) rss1=$(rss) t1=$(date +%s.%N)
python3 -c "
cpu = ($cpu1 - $cpu0) / $(getconf CLK_TCK); wall = $t1 - $t0
print(f'idle {wall:.0f} s, $others other files: {cpu:.2f} s of CPU = {100 * cpu / wall:.3f}% of one core; '
      f'resident memory {$rss0} kB at the start, {$rss1} kB at the end')"
