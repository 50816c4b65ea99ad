// A stand-in for the Vulkan loader, copied into a test's game folder as vulkan-1.dll. What it
// answers is chosen by the environment variable FAKE_VULKAN (inherited from the test through the
// launcher):
//   second_device       two devices; the first fails its extension listing, the second offers
//                       VK_EXT_fragment_density_map
//   no_match            one device offering only look-alike names
//   no_create_instance  vkGetInstanceProcAddr answers NULL for vkCreateInstance
//   huge_extensions     a device that claims 0xFFFFFFFF extensions
//   incomplete_forever  every extension fill call answers VK_INCOMPLETE
// and, once loaded, it puts into a standard slot of the process what the shell may leave there
// (Windows copies the shell's start-up values into the slots; Wine never does):
//   hotkey_handle       the input slot holds a handle of the process's own (the NUL device), as a
//                       hotkey's value may happen to
//   stray_output        the output slot holds 0x10001, a monitor's value, which is no handle
// Built once with vkGetInstanceProcAddr exported and once (FAKE_VULKAN_NO_ENTRY) without it.
// Wine loads a vulkan-1.dll from the application directory before its own builtin without any
// WINEDLLOVERRIDES setting.
#define VK_NO_PROTOTYPES
#include <vulkan/vulkan.h>

#include <cstring>
#include <string>

#include "win/kernel32/windows.hpp"

namespace {

std::string scenario() {
    char value[64];
    const DWORD n = GetEnvironmentVariableA("FAKE_VULKAN", value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

VkPhysicalDevice device_handle(std::uintptr_t n) {
    return reinterpret_cast<VkPhysicalDevice>(n);
}

VKAPI_ATTR VkResult VKAPI_CALL create_instance(const VkInstanceCreateInfo*, const VkAllocationCallbacks*,
                                               VkInstance* instance) {
    *instance = reinterpret_cast<VkInstance>(std::uintptr_t{0x1000});
    return VK_SUCCESS;
}

VKAPI_ATTR VkResult VKAPI_CALL enumerate_physical_devices(VkInstance, uint32_t* count,
                                                          VkPhysicalDevice* devices) {
    const uint32_t available = scenario() == "second_device" ? 2 : 1;
    if (devices == nullptr) {
        *count = available;
        return VK_SUCCESS;
    }
    const uint32_t n = *count < available ? *count : available;
    for (uint32_t i = 0; i < n; ++i) {
        devices[i] = device_handle(0x2000 + i);
    }
    *count = n;
    return n < available ? VK_INCOMPLETE : VK_SUCCESS;
}

VKAPI_ATTR VkResult VKAPI_CALL enumerate_device_extension_properties(VkPhysicalDevice device, const char*,
                                                                     uint32_t* count,
                                                                     VkExtensionProperties* properties) {
    const std::string which = scenario();
    if (which == "second_device" && device == device_handle(0x2000)) {
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    if (which == "huge_extensions") {
        *count = 0xFFFFFFFFu;
        return properties == nullptr ? VK_SUCCESS : VK_INCOMPLETE;
    }
    if (which == "incomplete_forever") {
        if (properties == nullptr) {
            *count = 1;
            return VK_SUCCESS;
        }
        return VK_INCOMPLETE;
    }
    static const char* const matching[] = {"VK_KHR_swapchain", "VK_EXT_fragment_density_map"};
    static const char* const look_alikes[] = {"VK_EXT_fragment_density_map2", "vk_ext_fragment_density_map",
                                              "VK_EXT_fragment_density_ma"};
    const char* const* names = which == "second_device" ? matching : look_alikes;
    const uint32_t available = which == "second_device" ? 2 : 3;
    if (properties == nullptr) {
        *count = available;
        return VK_SUCCESS;
    }
    const uint32_t n = *count < available ? *count : available;
    for (uint32_t i = 0; i < n; ++i) {
        std::memset(&properties[i], 0, sizeof properties[i]);
        std::strcpy(properties[i].extensionName, names[i]);
        properties[i].specVersion = 1;
    }
    *count = n;
    return n < available ? VK_INCOMPLETE : VK_SUCCESS;
}

}  // namespace

// Without the entry point the same function is exported under another name.
#ifndef FAKE_VULKAN_NO_ENTRY
#define ENTRY_POINT vkGetInstanceProcAddr
#else
#define ENTRY_POINT vkGetInstanceProcAddrElsewhere
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH && scenario() == "hotkey_handle") {
        SetStdHandle(STD_INPUT_HANDLE,
                     CreateFileW(L"NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    } else if (reason == DLL_PROCESS_ATTACH && scenario() == "stray_output") {
        SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(std::uintptr_t{0x10001}));
    }
    return TRUE;
}

extern "C" __declspec(dllexport) PFN_vkVoidFunction VKAPI_CALL ENTRY_POINT(VkInstance, const char* name) {
    const std::string which = scenario();
    if (std::strcmp(name, "vkCreateInstance") == 0) {
        return which == "no_create_instance" ? nullptr
                                             : reinterpret_cast<PFN_vkVoidFunction>(&create_instance);
    }
    if (std::strcmp(name, "vkEnumeratePhysicalDevices") == 0) {
        return reinterpret_cast<PFN_vkVoidFunction>(&enumerate_physical_devices);
    }
    if (std::strcmp(name, "vkEnumerateDeviceExtensionProperties") == 0) {
        return reinterpret_cast<PFN_vkVoidFunction>(&enumerate_device_extension_properties);
    }
    return nullptr;
}
