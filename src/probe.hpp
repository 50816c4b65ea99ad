// Portable: whether any GPU that the Vulkan loader reports offers fragment density maps.
#pragma once

#include "loader_api.hpp"

namespace ostrand {

// Loads the Vulkan loader, creates a bare instance and looks through each device's extensions for
// VK_EXT_fragment_density_map. Every Vulkan failure makes the answer false (or skips one device);
// only a missing command being called, or exhausted memory, ends the process instead. The loader
// library is released before this returns.
bool supports_fragment_density_map(LoaderApi& api);

}  // namespace ostrand
