// A host Vulkan layer for the Wine tests: it passes every command through and adds
// VK_EXT_fragment_density_map to each physical device's extension list, so that a Windows program on
// Wine's vulkan-1.dll over a driver without it (lavapipe) sees a device that offers it. It only answers
// the question: a device created with the extension enabled is refused by the driver below.
// Built for the host without sanitizers, since it is loaded into Wine's own processes.
#define VK_NO_PROTOTYPES  // every command is reached through the chain, never by name
#include <vulkan/vk_layer.h>
#include <vulkan/vulkan.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// The loader hands a layer the next link only while vkCreateInstance or vkCreateDevice runs, and an
// instance and its physical devices share one dispatch table pointer; so what the layer calls later
// is kept per dispatch table, for every instance the process creates.
void* dispatch_key(const void* handle) {
    return *static_cast<void* const*>(handle);
}

struct InstanceNext {
    PFN_vkGetInstanceProcAddr get_instance_proc_addr = nullptr;
    PFN_vkCreateDevice create_device = nullptr;
    PFN_vkEnumerateDeviceExtensionProperties enumerate_device_extension_properties = nullptr;
};

std::mutex chain_lock;
std::unordered_map<void*, InstanceNext> instances;
std::unordered_map<void*, PFN_vkGetDeviceProcAddr> devices;

InstanceNext instance_next(const void* handle) {
    const std::lock_guard lock(chain_lock);
    const auto found = instances.find(dispatch_key(handle));
    return found != instances.end() ? found->second : InstanceNext{};
}

// The loader's link record in a create info's chain; the layer advances it for the layer below.
template <typename Info>
Info* link_info(const void* chain, VkStructureType type) {
    for (auto* s = static_cast<const VkBaseInStructure*>(chain); s != nullptr; s = s->pNext) {
        auto* info = reinterpret_cast<const Info*>(s);
        if (s->sType == type && info->function == VK_LAYER_LINK_INFO) {
            return const_cast<Info*>(info);
        }
    }
    return nullptr;
}

PFN_vkVoidFunction VKAPI_CALL get_instance_proc_addr(VkInstance instance, const char* name);
PFN_vkVoidFunction VKAPI_CALL get_device_proc_addr(VkDevice device, const char* name);

VkResult VKAPI_CALL create_instance(const VkInstanceCreateInfo* info, const VkAllocationCallbacks* allocator,
                                    VkInstance* instance) {
    auto* link =
        link_info<VkLayerInstanceCreateInfo>(info->pNext, VK_STRUCTURE_TYPE_LOADER_INSTANCE_CREATE_INFO);
    if (link == nullptr) {
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    const PFN_vkGetInstanceProcAddr next = link->u.pLayerInfo->pfnNextGetInstanceProcAddr;
    link->u.pLayerInfo = link->u.pLayerInfo->pNext;
    const auto next_create = reinterpret_cast<PFN_vkCreateInstance>(next(VK_NULL_HANDLE, "vkCreateInstance"));
    if (next_create == nullptr) {
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    const VkResult result = next_create(info, allocator, instance);
    if (result != VK_SUCCESS) {
        return result;
    }
    // Only now does the next link answer for this instance; once vkCreateInstance has returned, the
    // loader answers from the top of the chain, which is this layer again.
    InstanceNext found;
    found.get_instance_proc_addr = next;
    found.create_device = reinterpret_cast<PFN_vkCreateDevice>(next(*instance, "vkCreateDevice"));
    found.enumerate_device_extension_properties = reinterpret_cast<PFN_vkEnumerateDeviceExtensionProperties>(
        next(*instance, "vkEnumerateDeviceExtensionProperties"));
    const std::lock_guard lock(chain_lock);
    instances.insert_or_assign(dispatch_key(*instance), found);
    return VK_SUCCESS;
}

VkResult VKAPI_CALL create_device(VkPhysicalDevice physical_device, const VkDeviceCreateInfo* info,
                                  const VkAllocationCallbacks* allocator, VkDevice* device) {
    auto* link = link_info<VkLayerDeviceCreateInfo>(info->pNext, VK_STRUCTURE_TYPE_LOADER_DEVICE_CREATE_INFO);
    const PFN_vkCreateDevice next_create = instance_next(physical_device).create_device;
    if (link == nullptr || next_create == nullptr) {
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    const PFN_vkGetDeviceProcAddr next = link->u.pLayerInfo->pfnNextGetDeviceProcAddr;
    link->u.pLayerInfo = link->u.pLayerInfo->pNext;
    const VkResult result = next_create(physical_device, info, allocator, device);
    if (result == VK_SUCCESS) {
        const std::lock_guard lock(chain_lock);
        devices.insert_or_assign(dispatch_key(*device), next);
    }
    return result;
}

// The next link's whole list, asked until it holds still.
VkResult next_extensions(PFN_vkEnumerateDeviceExtensionProperties next, VkPhysicalDevice physical_device,
                         std::vector<VkExtensionProperties>& list) {
    for (;;) {
        std::uint32_t count = 0;
        VkResult result = next(physical_device, nullptr, &count, nullptr);
        if (result != VK_SUCCESS) {
            return result;
        }
        list.resize(count);
        result = next(physical_device, nullptr, &count, list.data());
        if (result != VK_INCOMPLETE) {
            list.resize(std::min<std::size_t>(count, list.size()));
            return result;
        }
    }
}

VkResult VKAPI_CALL enumerate_device_extension_properties(VkPhysicalDevice physical_device,
                                                          const char* layer_name, std::uint32_t* count,
                                                          VkExtensionProperties* properties) {
    const PFN_vkEnumerateDeviceExtensionProperties next =
        instance_next(physical_device).enumerate_device_extension_properties;
    if (next == nullptr) {
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    if (layer_name != nullptr) {
        return next(physical_device, layer_name, count, properties);
    }
    std::vector<VkExtensionProperties> list;
    const VkResult result = next_extensions(next, physical_device, list);
    if (result != VK_SUCCESS) {
        return result;
    }
    constexpr std::string_view added = VK_EXT_FRAGMENT_DENSITY_MAP_EXTENSION_NAME;
    if (std::none_of(list.begin(), list.end(),
                     [&](const VkExtensionProperties& e) { return e.extensionName == added; })) {
        VkExtensionProperties extension{};
        added.copy(extension.extensionName, added.size());
        extension.specVersion = VK_EXT_FRAGMENT_DENSITY_MAP_SPEC_VERSION;
        list.push_back(extension);
    }
    const auto total = static_cast<std::uint32_t>(list.size());
    if (properties == nullptr) {
        *count = total;
        return VK_SUCCESS;
    }
    const std::uint32_t written = std::min(*count, total);
    std::copy_n(list.begin(), written, properties);
    *count = written;
    return written < total ? VK_INCOMPLETE : VK_SUCCESS;
}

PFN_vkVoidFunction VKAPI_CALL get_instance_proc_addr(VkInstance instance, const char* name) {
    const std::string_view command = name;
    if (command == "vkGetInstanceProcAddr") {
        return reinterpret_cast<PFN_vkVoidFunction>(&get_instance_proc_addr);
    }
    if (command == "vkCreateInstance") {
        return reinterpret_cast<PFN_vkVoidFunction>(&create_instance);
    }
    if (command == "vkCreateDevice") {
        return reinterpret_cast<PFN_vkVoidFunction>(&create_device);
    }
    if (command == "vkEnumerateDeviceExtensionProperties") {
        return reinterpret_cast<PFN_vkVoidFunction>(&enumerate_device_extension_properties);
    }
    if (command == "vkGetDeviceProcAddr") {
        return reinterpret_cast<PFN_vkVoidFunction>(&get_device_proc_addr);
    }
    if (instance == VK_NULL_HANDLE) {
        return nullptr;
    }
    const PFN_vkGetInstanceProcAddr next = instance_next(instance).get_instance_proc_addr;
    return next != nullptr ? next(instance, name) : nullptr;
}

PFN_vkVoidFunction VKAPI_CALL get_device_proc_addr(VkDevice device, const char* name) {
    if (std::string_view(name) == "vkGetDeviceProcAddr") {
        return reinterpret_cast<PFN_vkVoidFunction>(&get_device_proc_addr);
    }
    PFN_vkGetDeviceProcAddr next = nullptr;
    {
        const std::lock_guard lock(chain_lock);
        const auto found = devices.find(dispatch_key(device));
        next = found != devices.end() ? found->second : nullptr;
    }
    return next != nullptr ? next(device, name) : nullptr;
}

}  // namespace

// The only exported symbol. The layer's own functions are handed over here and have names of their
// own: the layer's references to an exported vkGetInstanceProcAddr would bind to the loader's function
// of that name, which is loaded first, and the loader would end up calling itself in vkCreateInstance.
extern "C" VK_LAYER_EXPORT VKAPI_ATTR VkResult VKAPI_CALL
vkNegotiateLoaderLayerInterfaceVersion(VkNegotiateLayerInterface* interface) {
    if (interface == nullptr || interface->sType != LAYER_NEGOTIATE_INTERFACE_STRUCT ||
        interface->loaderLayerInterfaceVersion < 2) {
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    interface->loaderLayerInterfaceVersion = 2;
    interface->pfnGetInstanceProcAddr = &get_instance_proc_addr;
    interface->pfnGetDeviceProcAddr = &get_device_proc_addr;
    interface->pfnGetPhysicalDeviceProcAddr = nullptr;
    return VK_SUCCESS;
}
