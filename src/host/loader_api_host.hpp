// Host binding of LoaderApi, for builds that do not target Windows (see loader_api_host.cpp).
#pragma once

#include "loader_api.hpp"

namespace ostrand {

// The same load sequence over the dynamic linker, with the system's own Vulkan loader standing in
// for "vulkan-1.dll".
LoaderApi& host_loader_api();

}  // namespace ostrand
