#!/usr/bin/env bash
# The positive answer through the real stack: Wine's own vulkan-1.dll, the host's Vulkan loader and
# lavapipe, with the project's host layer that adds VK_EXT_fragment_density_map to the device. With the
# layer enabled from the Unix environment the game gets "-mobile" after "-windowed", or last with
# "-fullscreen"; the same run without the layer enabled gives none.
# Usage: real_vulkan_layer_test.sh WINE_RUN PREFIX BUILD_DIR LAYER_DIR
. "$(dirname "$0")/shell_test.sh" "$@"
layer_dir=$4

layer=VK_LAYER_OSTRAND_fragment_density_map
# Lavapipe alone, whatever other drivers the machine has (one might offer the extension itself), also
# for the host check below, and no layer but the one each run asks for.
[ -n "$lavapipe_drivers" ] || { echo "no lavapipe driver manifest in /usr/share/vulkan/icd.d"; exit 1; }
unset VK_INSTANCE_LAYERS VK_LOADER_LAYERS_ENABLE VK_LOADER_LAYERS_DISABLE VK_LAYER_PATH VK_DRIVER_FILES \
      VK_ADD_DRIVER_FILES
export VK_ICD_FILENAMES=$lavapipe_drivers VK_ADD_LAYER_PATH=$layer_dir MESA_SHADER_CACHE_DIR=$build/mesa-shader-cache

echo "== the layer on the host's loader"
"$layer_dir/layer_check" "$layer"

game=$(mktemp -d "${TMPDIR:-/tmp}/ostrand-real-vulkan-layer.XXXXXX")
trap 'stop_xvfb; rm -rf "$game"' EXIT
stop_wineserver
start_xvfb 191 240
export DISPLAY=":$DISPLAY_NUMBER"
cp "$build/ostrand.exe" "$game/ostrand.exe"
cp "$build/stand_in_game.exe" "$game/hl2.exe"

# The launcher is started by its Windows path (drive Z: is the Unix root) so that the game's path in
# its command line is known exactly; the stand-in records it with each backslash doubled.
windows_dir="Z:${game//\//\\}"
head="command_line=\"${windows_dir//\\/\\\\}\\\\hl2.exe\""
fixed='-w 1280 -h 720 -novid -condebug -conclearlog -high "-refresh 0" -noasserts -hushasserts -dxlevel 98'
fixed+=' -vulkan -gamepadui -steam -game zorv'

passed=0 failed=0
# launch EXPECTED ARGS...: runs the launcher with ARGS and compares the game's command line.
launch() {
  local expected=$1 status=0 received=
  shift
  rm -f "$game/received.txt"
  "$wine_run" "$prefix" "$windows_dir\\ostrand.exe" "$@" >"$game/stdout" 2>"$game/stderr" || status=$?
  [ ! -f "$game/received.txt" ] || read -r received <"$game/received.txt" || true
  if [ "$status" -eq 0 ] && [ "$received" = "$expected" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: layers '${VK_INSTANCE_LAYERS-}', arguments '$*': launcher status $status"
    echo "  expected: $expected"
    echo "  received: $received"
    cat "$game/stderr"
  fi
}

echo "== the launcher under Wine"
VK_INSTANCE_LAYERS=$layer launch "$head $fixed -windowed -mobile"
VK_INSTANCE_LAYERS=$layer launch "$head -fullscreen $fixed -mobile" -fullscreen
launch "$head $fixed -windowed"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
