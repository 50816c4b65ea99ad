// Portable: the fragment density map probe, on top of the loader binding.
#include "probe.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "vulkan_loader.hpp"

namespace ostrand {
namespace {

constexpr std::string_view wanted_extension = VK_EXT_FRAGMENT_DENSITY_MAP_EXTENSION_NAME;
static_assert(wanted_extension.size() < VK_MAX_EXTENSION_NAME_SIZE);

// Equal bytes followed by the NUL: a longer name ("..._map2") cannot match, and nothing past the
// NUL's place is read, even in a record whose name has no NUL at all.
bool names_wanted_extension(const VkExtensionProperties& extension) {
    return std::memcmp(extension.extensionName, wanted_extension.data(), wanted_extension.size()) == 0 &&
           extension.extensionName[wanted_extension.size()] == '\0';
}

bool any_device_offers_wanted_extension(const VulkanGlobalTable& global) {
    // The instance is never destroyed: it lives on, unused, until the process ends, and the probe
    // makes no Vulkan call beyond the ones its answer needs.
    const auto instance = create_vulkan_instance(global, bare_instance_info, nullptr);
    if (!instance) {
        return false;
    }
    const auto devices = list_physical_devices(*instance);
    if (!devices) {
        return false;
    }
    // Each extension array is released at the end of its iteration, before the device array.
    for (const VkPhysicalDevice device : devices->elements()) {
        const auto extensions = list_device_extensions(*instance, device);
        if (extensions && std::ranges::any_of(extensions->elements(), names_wanted_extension)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool supports_fragment_density_map(LoaderApi& api) {
    const auto global = load_vulkan_loader(api);
    if (!global) {
        return false;
    }
    // `global` is the library's only holder and outlives every array of the search: the library is
    // freed last, as this returns.
    return any_device_offers_wanted_extension(*global);
}

}  // namespace ostrand
