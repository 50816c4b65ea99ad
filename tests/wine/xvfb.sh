# Sourced by the scripts that run Wine programs under an X display of their own (Xvfb).
# Needs WINEPREFIX set. Wine picks its display driver once per wineserver session, so a run that
# switches between display and none stops the wineserver in between.

. "$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-paths"
xvfb_pid=

stop_wineserver() { "$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true; }

# start_xvfb FIRST LAST: starts Xvfb on the first free display number in FIRST..LAST and sets
# DISPLAY_NUMBER; fails when none is free or the server does not come up.
start_xvfb() {
  DISPLAY_NUMBER=
  for n in $(seq "$1" "$2"); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then DISPLAY_NUMBER=$n; break; fi
  done
  [ -n "$DISPLAY_NUMBER" ] || { echo "no free display number in $1..$2"; return 1; }
  Xvfb ":$DISPLAY_NUMBER" -nolisten tcp -screen 0 640x480x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] && break; sleep 0.05; done
  [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] || { echo "Xvfb did not start"; return 1; }
}

# Stops the wineserver and the Xvfb that start_xvfb started (by its process id).
stop_xvfb() {
  stop_wineserver
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  xvfb_pid=
}
