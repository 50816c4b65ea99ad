#!/usr/bin/env bash
# The probe against Wine's own Vulkan loader and Mesa's lavapipe driver: with a display (Xvfb) the
# loader creates an instance and lists one CPU device without the fragment density map, so the probe
# answers false; where no instance can be created (no Vulkan driver on the host) it answers false too.
# Wine 8 also fails the instance creation without a display; Wine 10 does not (it lists lavapipe all
# the same), so the failing case hides the host's drivers from its loader instead.
# Usage: real_vulkan_test.sh WINE_RUN PREFIX BUILD_DIR
. "$(dirname "$0")/shell_test.sh" "$@"

trap stop_xvfb EXIT
stop_wineserver
start_xvfb 90 140

status=0
echo "== with a display"
DISPLAY=":$DISPLAY_NUMBER" "$wine_run" "$prefix" "$build/real_vulkan_check.exe" display || status=1
echo "== without a Vulkan driver"
DISPLAY=":$DISPLAY_NUMBER" VK_DRIVER_FILES=/nonexistent.json VK_ICD_FILENAMES=/nonexistent.json \
  "$wine_run" "$prefix" "$build/real_vulkan_check.exe" no-driver || status=1
exit $status
