#!/usr/bin/env bash
# The real window under Xvfb with an XEmbed tray host (trayer):
#  1. started with /tray, the window is not mapped and one tray icon is;
#  2. a click on the icon maps the window and removes the icon; Alt+E ends the program;
#  3. without a tray host, /min leaves the window mapped (on the task bar).
# How the window keeps up with a running scan is measured by bench/window_stall.cpp.
# Usage: window_test.sh CAPSEL_BINARY OUTPUT_DIR (a screenshot goes to
# OUTPUT_DIR as window.png).
set -euo pipefail
capsel=$1
out=$2
for tool in Xvfb trayer xdotool import xwininfo xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
mkdir -p "$out"
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  for log in "$work"/*.log; do echo "--- $(basename "$log")"; cat "$log"; done
  exit 1
}

# Polls a condition for up to ten seconds.
wait_for() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }

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

main_window() { xdotool search --name '^capsel 1\.0\.0\.8' 2>/dev/null | head -n 1; }
visible() { xdotool search --onlyvisible --class capsel 2>/dev/null || true; }
# The capsel windows that are mapped, less the main window: the tray icon.
icons() { visible | grep -vx "$(main_window)" || true; }

# 1. /tray: no window, one icon.
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
  >"$work/trayer.log" 2>&1 &
trayer_pid=$!
pids+=($trayer_pid)
wait_for "xwininfo -root -tree | grep -qi panel" || fail "trayer did not start"
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

echo "window test passed"
