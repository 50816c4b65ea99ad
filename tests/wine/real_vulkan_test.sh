#!/usr/bin/env bash
# The probe against Wine's own Vulkan loader and Mesa's lavapipe driver: with a display (Xvfb) the
# loader creates an instance and lists one CPU device without the fragment density map, so the game
# gets no "-mobile"; without a display instance creation fails and the launch goes on silently.
# Usage: real_vulkan_test.sh WINE_RUN PREFIX BUILD_DIR
set -euo pipefail
wine_run=$1
prefix=$2
build=$3
export WINEPREFIX=$prefix WINEDEBUG=-all
wineserver=/usr/lib/wine/wineserver

# Wine picks its display driver once per wineserver session.
stop_wineserver() { "$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true; }

display=
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free display number"; exit 1; }

xvfb_pid=
cleanup() {
  stop_wineserver
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

stop_wineserver
Xvfb ":$display" -nolisten tcp -screen 0 640x480x24 >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start"; exit 1; }

status=0
echo "== with a display"
DISPLAY=":$display" "$wine_run" "$prefix" "$build/real_vulkan_check.exe" display || status=1
stop_wineserver
echo "== without a display"
env -u DISPLAY "$wine_run" "$prefix" "$build/real_vulkan_check.exe" no-display || status=1
exit $status
