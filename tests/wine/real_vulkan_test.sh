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
. "$(dirname "$0")/xvfb.sh"

trap stop_xvfb EXIT
stop_wineserver
start_xvfb 90 140

status=0
echo "== with a display"
DISPLAY=":$DISPLAY_NUMBER" "$wine_run" "$prefix" "$build/real_vulkan_check.exe" display || status=1
stop_wineserver
echo "== without a display"
env -u DISPLAY "$wine_run" "$prefix" "$build/real_vulkan_check.exe" no-display || status=1
exit $status
