#!/usr/bin/env bash
# Drives the installed program's window under an X server (run inside xvfb-run) as an operator
# would: the icon button beside the status line, the image typed into the file dialog, then Auto
# Program, then Escape to close. The window has a fixed layout in dialog units, so a control's
# place is a fixed fraction of the window's size whatever the font; the file dialog takes the
# typed path from the keyboard.
# Usage: drive_window.sh <program> <image> <data folder> <seconds allowed for the load>
set -euo pipefail
program=$1 image=$2 data=$3 load_seconds=$4

# The main window's size in dialog units (the historic 308 and the production record's band
# under them), and the centres of the two buttons used.
window_units_x=501 window_units_y=388
one_key_load_x=480 one_key_load_y=46        # the icon button beside the status line
auto_program_x=73 auto_program_y=150        # Auto Program

log() { echo "[drive] $*"; }
fail() { log "FAILED: $*"; [ -n "${shot_dir:-}" ] && import -window root "$shot_dir/failure.png" 2>/dev/null || true; exit 1; }

wait_for() {  # wait_for <seconds> <description> <command...>
  local seconds=$1 what=$2; shift 2
  local end=$(( $(date +%s) + seconds ))
  until "$@"; do
    [ "$(date +%s)" -lt "$end" ] || fail "no $what after $seconds s"
    sleep 0.2
  done
}

click_at_units() {  # click_at_units <window> <x units> <y units>
  local window=$1 ux=$2 uy=$3 width height
  eval "$(xdotool getwindowgeometry --shell "$window")"
  width=$WIDTH height=$HEIGHT
  xdotool mousemove --window "$window" $(( ux * width / window_units_x )) $(( uy * height / window_units_y ))
  sleep 0.3
  xdotool click 1
}

main_window() { xdotool search --onlyvisible --name '^vx3wt$' 2>/dev/null | head -n1; }
visible_windows() { xdotool search --onlyvisible --name '.' 2>/dev/null | sort; }
log_has() { grep -qs -- "$1" "$data"/Writer_Log/WT*.LOG; }
trace_has() { grep -qs -- "$1" "$data/DLL/VX3USBOV3Wt.trace"; }
window_shown() { [ -n "$(main_window)" ]; }
new_window() { comm -13 <(echo "$before") <(visible_windows) | head -n1; }
new_window_shown() { [ -n "$(new_window)" ]; }

"$program" > "${shot_dir:-/tmp}/program.out" 2>&1 &
program_pid=$!
trap 'kill $program_pid 2>/dev/null || true' EXIT

wait_for 20 "main window" window_shown
window=$(main_window)
log "main window $window"
[ -n "${shot_dir:-}" ] && import -window root "$shot_dir/started.png"
# The simulated Writer's settings were copied on the first start; its trace shows what it did.
wait_for 10 "simulated Writer settings in the data folder" test -f "$data/DLL/VX3USBOV3Wt.ini"
sed -i 's/^Trace=.*/Trace=1/' "$data/DLL/VX3USBOV3Wt.ini"

before=$(visible_windows)
click_at_units "$window" $one_key_load_x $one_key_load_y
wait_for 10 "file dialog" new_window_shown
dialog=$(new_window)
log "file dialog $dialog"
xdotool mousemove --window "$dialog" 20 20
sleep 0.5
xdotool type --delay 20 "$image"
sleep 0.3
xdotool key Return

wait_for "$load_seconds" "EEPROM verify in the log" log_has "EEPROM verify O.K"
log "image loaded, Writer prepared"
[ -n "${shot_dir:-}" ] && import -window root "$shot_dir/loaded.png"
click_at_units "$window" $auto_program_x $auto_program_y
wait_for 60 "Auto Program in the simulated Writer's trace" trace_has "Auto Program"
wait_for 60 "Auto Program's end" trace_has "status 1 (ok)"
sleep 1
[ -n "${shot_dir:-}" ] && import -window root "$shot_dir/programmed.png"
log "Auto Program done"

# Escape closes the window; it goes to the window under the pointer (no window manager here).
xdotool mousemove --window "$window" 5 5
xdotool key Escape || true
for _ in $(seq 100); do kill -0 $program_pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $program_pid 2>/dev/null; then
  xdotool windowclose "$window" 2>/dev/null || true
  sleep 1
fi
kill -0 $program_pid 2>/dev/null && fail "the program did not close"
trap - EXIT
log "closed"
