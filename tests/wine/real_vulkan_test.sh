#!/usr/bin/env bash
# The launcher through the real Vulkan stack: Wine's own vulkan-1.dll, the host's Vulkan loader and
# Mesa's lavapipe, under a display of its own (Xvfb). Two tests share this script:
#   probe  with a display the loader creates an instance and lists one CPU device without the fragment
#          density map, so the probe answers false; where no instance can be created (no Vulkan driver
#          on the host) it answers false too. Wine 8 also fails the instance creation without a display;
#          Wine 10 does not (it lists lavapipe all the same), so the failing case hides the host's
#          drivers from its loader instead.
#   layer  the positive answer, with the project's host layer that adds VK_EXT_fragment_density_map to
#          the device: enabled from the Unix environment, the game gets "-mobile" after "-windowed", or
#          last with "-fullscreen"; the same start without the layer enabled gives none.
# Usage: real_vulkan_test.sh WINE_RUN PREFIX BUILD_DIR probe
#        real_vulkan_test.sh WINE_RUN PREFIX BUILD_DIR layer LAYER_DIR
. "$(dirname "$0")/shell_test.sh" "$@"
part=$4

if [ "$part" = layer ]; then
  layer_dir=$5
  layer=VK_LAYER_OSTRAND_fragment_density_map
  # Lavapipe alone, whatever other drivers the machine has (one might offer the extension itself), also
  # for the host check below, and no layer but the one each run asks for.
  [ -n "$lavapipe_drivers" ] || { echo "no lavapipe driver manifest in /usr/share/vulkan/icd.d"; exit 1; }
  unset VK_INSTANCE_LAYERS VK_LOADER_LAYERS_ENABLE VK_LOADER_LAYERS_DISABLE VK_LAYER_PATH VK_DRIVER_FILES \
        VK_ADD_DRIVER_FILES
  export VK_ICD_FILENAMES=$lavapipe_drivers VK_ADD_LAYER_PATH=$layer_dir \
         MESA_SHADER_CACHE_DIR=$build/mesa-shader-cache
  echo "== the layer on the host's loader"
  "$layer_dir/layer_check" "$layer"
fi

trap stop_xvfb EXIT
stop_wineserver
start_xvfb 90 140
export DISPLAY=":$DISPLAY_NUMBER"
status=0
check() { "$wine_run" "$prefix" "$build/real_vulkan_check.exe" "$@" || status=1; }
if [ "$part" = layer ]; then
  echo "== the launcher under Wine, with the layer"
  VK_INSTANCE_LAYERS=$layer check layer
  echo "== without it"
  check no-layer
else
  echo "== with a display"
  check display
  echo "== without a Vulkan driver"
  VK_DRIVER_FILES=/nonexistent.json VK_ICD_FILENAMES=/nonexistent.json check no-driver
fi
exit $status
