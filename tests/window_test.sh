#!/usr/bin/env bash
# The real window under Xvfb with an XEmbed tray host (trayer):
#  1. started with /tray, the window is not mapped and one tray icon is;
#  2. a click on the icon maps the window and removes the icon; Alt+E ends the program;
#  3. without a tray host, /min leaves the window mapped (on the task bar);
#  4. during a scan of 12,000 documents the window repaints, the About box opens within a
#     second and Alt+E ends the program within two seconds, after the file in progress; every
#     document is converted or untouched, and a second start converts the rest.
# Usage: window_test.sh CAPSEL_BINARY OUTPUT_DIR CAPSEL_GENERATE (a screenshot goes to
# OUTPUT_DIR as window.png).
set -euo pipefail
capsel=$1
out=$2
generate=$3
for tool in Xvfb trayer xdotool import xwininfo xdpyinfo compare; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  for log in "$work"/*.log; do echo "--- $(basename "$log")"; cat "$log"; done
  exit 1
}

# Polls a condition for up to ten seconds.
wait_for() {
  local i
  for i in $(seq 100); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  return 1
}

display=""
for n in $(seq 90 150); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no free X display"
# -noreset: the server must not reset (and refuse connections for a moment) when its last
# client leaves, as it does between the steps.
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for "xdpyinfo >/dev/null 2>&1" || fail "Xvfb did not start"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS

mkdir -p "$work/in" "$work/out" "$work/done"
printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n' >"$work/capsel.ini"

start_trayer() {
  trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
    >"$work/trayer.log" 2>&1 &
  trayer_pid=$!
  pids+=($trayer_pid)
  wait_for "xwininfo -root -tree | grep -qi panel" || fail "trayer did not start"
}

main_window() { xdotool search --name '^capsel 1\.0\.0\.8' 2>/dev/null | head -n 1; }
visible() { xdotool search --onlyvisible --class capsel 2>/dev/null || true; }
# The capsel windows that are mapped, less the main window: the tray icon.
icons() { visible | grep -vx "$(main_window)" || true; }

# 1. /tray: no window, one icon.
start_trayer
"$capsel" --config "$work/capsel.ini" /tray >"$work/capsel1.log" 2>&1 &
capsel_pid=$!
pids+=($capsel_pid)
wait_for '[ -n "$(main_window)" ] && [ "$(icons | wc -l)" -eq 1 ]' || fail "no tray icon after /tray"
sleep 0.5
visible | grep -qx "$(main_window)" && fail "the window is mapped although started with /tray"
[ "$(icons | wc -l)" -eq 1 ] || fail "expected one tray icon, found $(icons | wc -l)"
echo "ok: /tray shows one icon and no window"

# 2. A click on the icon brings the window back and removes the icon.
icon=$(icons)
xdotool mousemove --window "$icon" 11 11 click 1
wait_for 'visible | grep -qx "$(main_window)"' || fail "the window did not come back after a click on the icon"
wait_for '[ "$(icons | wc -l)" -eq 0 ]' || fail "the icon stayed after the restore"
echo "ok: a click restores the window and removes the icon"
sleep 0.5
import -window "$(main_window)" "$out/window.png" || fail "no screenshot"
echo "ok: screenshot in $out/window.png"

xdotool windowfocus --sync "$(main_window)" 2>/dev/null || true
xdotool key --window "$(main_window)" alt+e
wait_for "! kill -0 $capsel_pid 2>/dev/null" || fail "Alt+E did not end the program"
wait "$capsel_pid" && status=0 || status=$?
[ "$status" -eq 0 ] || fail "capsel ended with status $status"
echo "ok: Alt+E ends the program"

# 3. Without a tray host, minimising leaves the window where the user can get it back.
kill "$trayer_pid"
wait "$trayer_pid" 2>/dev/null || true
wait_for "! xwininfo -root -tree | grep -qi panel" || fail "trayer did not stop"
"$capsel" --config "$work/capsel.ini" /min >"$work/capsel2.log" 2>&1 &
capsel_pid=$!
pids+=($capsel_pid)
wait_for '[ -n "$(main_window)" ]' || fail "no window with /min"
sleep 1
visible | grep -qx "$(main_window)" || fail "without a tray the window was hidden"
[ "$(icons | wc -l)" -eq 0 ] || fail "an icon without a tray host"
kill "$capsel_pid"
wait "$capsel_pid" 2>/dev/null || true
echo "ok: without a tray host /min keeps the window"

# 4. A scan runs beside the window. 12,000 documents: on this 2-core machine about 3,000 are
#    converted before Alt+E, so the scan is still running when the checks are over.
docs=12000
now_ms() { echo $(($(date +%s%N) / 1000000)); }
rm -rf "$work/in" "$work/out" "$work/done" && mkdir -p "$work/in" "$work/out" "$work/done"
"$generate" "$work/in" "$docs" 3 || fail "cannot generate documents"
printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nLogfileName=activity.txt\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\n' \
  >"$work/capsel.ini"
"$capsel" --config "$work/capsel.ini" >"$work/capsel4.log" 2>&1 &
capsel_pid=$!
pids+=($capsel_pid)
wait_for '[ -n "$(main_window)" ]' || fail "no window for the scan"
window=$(main_window)
wait_for '[ -n "$(find "$work/done" -name "*.xml" -print -quit)" ]' || fail "the scan did not begin"
import -window "$window" "$work/list1.png"
sleep 0.3
import -window "$window" "$work/list2.png"
changed=$(compare -metric AE "$work/list1.png" "$work/list2.png" null: 2>&1 || true)
[ "${changed%% *}" != 0 ] || fail "the list did not repaint during the scan"
echo "ok: the list repaints during the scan ($changed pixels changed)"

xdotool windowfocus --sync "$window" 2>/dev/null || true
start=$(now_ms)
xdotool key --window "$window" alt+a
about() { xdotool search --onlyvisible --name '^About capsel$' 2>/dev/null | head -n 1; }
while [ -z "$(about)" ] && [ $(($(now_ms) - start)) -lt 1000 ]; do sleep 0.02; done
[ -n "$(about)" ] || fail "the About box did not open within one second"
echo "ok: the About box opened after $(($(now_ms) - start)) ms"
xdotool windowfocus --sync "$(about)" 2>/dev/null || true
xdotool key Return
wait_for '[ -z "$(about)" ]' || fail "the About box did not close"

xdotool windowfocus --sync "$window" 2>/dev/null || true
start=$(now_ms)
xdotool key --window "$window" alt+e
while kill -0 "$capsel_pid" 2>/dev/null && [ $(($(now_ms) - start)) -lt 2000 ]; do sleep 0.02; done
kill -0 "$capsel_pid" 2>/dev/null && fail "Alt+E did not end the program within two seconds"
echo "ok: Alt+E ended the program after $(($(now_ms) - start)) ms"
wait "$capsel_pid" && status=0 || status=$?
[ "$status" -eq 0 ] || fail "capsel ended with status $status"
tail -n 1 "$work/activity.txt" | grep -q '  ---- DoConvert: Stopping; the remaining files wait for the next start\.'$'\r''$' ||
  fail "the scan had ended before Alt+E: no stop line"

# Each document is either converted (SRT written, input moved) or untouched, none half done.
names() { find "$work/$1" -name "*.$2" -printf '%f\n' | sed 's/\.[a-z]*$//' | sort; }
names in xml >"$work/in.txt"
names done xml >"$work/done.txt"
names out srt >"$work/srt.txt"
cmp -s "$work/done.txt" "$work/srt.txt" || fail "a moved input without its SRT file, or the other way round"
[ -z "$(comm -12 "$work/in.txt" "$work/srt.txt")" ] || fail "an SRT file for an input still in the watch folder"
[ "$(find "$work/out" -type f ! -name '*.srt' | wc -l)" -eq 0 ] || fail "a half-written file in the output folder"
left=$(wc -l <"$work/in.txt")
[ $((left + $(wc -l <"$work/done.txt"))) -eq "$docs" ] || fail "documents went missing"
[ "$left" -gt 0 ] || fail "nothing was left for the second start"
echo "ok: $((docs - left)) documents converted, $left untouched"

"$capsel" --config "$work/capsel.ini" --once >"$work/capsel5.log" 2>&1 || fail "the second start failed"
[ "$(find "$work/in" -name '*.xml' | wc -l)" -eq 0 ] || fail "the second start left documents behind"
[ "$(names out srt | wc -l)" -eq "$docs" ] || fail "the second start did not convert the rest"
echo "ok: a second start converts the remaining $left documents"

echo "window test passed"
