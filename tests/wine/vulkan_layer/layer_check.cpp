// Checks the fragment density map layer on the host's own Vulkan loader, for what the run under Wine
// cannot reach (Wine asks for the list with the exact count and creates no device): the driver's list
// passes through in its order with the extension after it, a short array gets VK_INCOMPLETE with nothing
// written past it, and a device is created, used and destroyed through the layer.
// Usage: layer_check LAYER_NAME, with the layer's manifest on VK_ADD_LAYER_PATH.
#include <vulkan/vulkan.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    std::fflush(stdout);  // a crash in a later call must not swallow what was already seen
    failures += ok ? 0 : 1;
}

// The first physical device of a new instance with the given layers; the instance is left to the
// process's end.
VkPhysicalDevice first_device(const char* layer) {
    const VkInstanceCreateInfo info{VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO,
                                    nullptr,
                                    0,
                                    nullptr,
                                    layer != nullptr ? 1u : 0u,
                                    &layer,
                                    0,
                                    nullptr};
    VkInstance instance = VK_NULL_HANDLE;
    std::uint32_t count = 1;
    VkPhysicalDevice device = VK_NULL_HANDLE;
    const bool ok = vkCreateInstance(&info, nullptr, &instance) == VK_SUCCESS &&
                    vkEnumeratePhysicalDevices(instance, &count, &device) >= VK_SUCCESS && count == 1;
    check(ok, std::string("an instance and a device ") +
                  (layer != nullptr ? "with the layer" : "without layers"));
    return ok ? device : VK_NULL_HANDLE;
}

std::vector<VkExtensionProperties> extensions(VkPhysicalDevice device) {
    std::uint32_t count = 0;
    vkEnumerateDeviceExtensionProperties(device, nullptr, &count, nullptr);
    std::vector<VkExtensionProperties> list(count);
    vkEnumerateDeviceExtensionProperties(device, nullptr, &count, list.data());
    list.resize(count);
    return list;
}

bool same(const VkExtensionProperties* a, const VkExtensionProperties* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n * sizeof *a) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: layer_check LAYER_NAME\n");
        return 2;
    }
    const VkPhysicalDevice plain = first_device(nullptr);
    const VkPhysicalDevice layered = first_device(argv[1]);
    if (plain == VK_NULL_HANDLE || layered == VK_NULL_HANDLE) {
        return 1;
    }
    const auto driver = extensions(plain);
    const auto listed = extensions(layered);
    const std::size_t total = listed.size();
    const bool added =
        total == driver.size() + 1 && same(listed.data(), driver.data(), driver.size()) &&
        std::strcmp(listed.back().extensionName, VK_EXT_FRAGMENT_DENSITY_MAP_EXTENSION_NAME) == 0 &&
        listed.back().specVersion == VK_EXT_FRAGMENT_DENSITY_MAP_SPEC_VERSION;
    check(added,
          "the driver's " + std::to_string(driver.size()) + " extensions, then the fragment density map");
    if (!added) {
        return 1;
    }

    const struct {
        const char* label;
        std::size_t capacity, written;
        VkResult result;
    } rows[] = {
        {"an array of the counted size", total, total, VK_SUCCESS},
        {"a larger array", total + 1, total, VK_SUCCESS},
        {"one short: the added extension left out", total - 1, total - 1, VK_INCOMPLETE},
        {"no room at all", 0, 0, VK_INCOMPLETE},
    };
    for (const auto& row : rows) {
        // One element past the given capacity shows a write beyond it.
        std::vector<VkExtensionProperties> array(row.capacity + 1);
        std::memset(array.data(), 0xA5, array.size() * sizeof array[0]);
        const VkExtensionProperties untouched = array[row.capacity];
        auto count = static_cast<std::uint32_t>(row.capacity);
        const VkResult result = vkEnumerateDeviceExtensionProperties(layered, nullptr, &count, array.data());
        check(result == row.result && count == row.written &&
                  same(array.data(), listed.data(), row.written) && same(&array[row.capacity], &untouched, 1),
              std::string(row.label) + ": result " + std::to_string(result) + ", count " +
                  std::to_string(count));
    }

    const float priority = 1.0f;
    const VkDeviceQueueCreateInfo queue_info{
        VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO, nullptr, 0, 0, 1, &priority};
    const VkDeviceCreateInfo device_info{
        VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO, nullptr, 0, 1, &queue_info, 0, nullptr, 0, nullptr, nullptr};
    VkDevice device = VK_NULL_HANDLE;
    const bool created = vkCreateDevice(layered, &device_info, nullptr, &device) == VK_SUCCESS;
    VkQueue queue = VK_NULL_HANDLE;
    if (created) {
        vkGetDeviceQueue(device, 0, 0, &queue);
    }
    check(created && queue != VK_NULL_HANDLE && vkQueueWaitIdle(queue) == VK_SUCCESS,
          "a device through the layer answers on its queue");
    if (created) {
        vkDestroyDevice(device, nullptr);
    }
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
