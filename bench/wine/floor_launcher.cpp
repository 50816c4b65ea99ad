// The least a launcher can do: ask the Vulkan loader what the launcher's probe asks, start hl2.exe
// beside itself with CreateProcessW and wait for it. The benchmark holds ostrand.exe against this
// floor built twice: on mingw's start-up code and C runtime (floor_launcher.exe), and with FLOOR_BARE
// on nothing but kernel32 and an entry point of its own (bare_floor_launcher.exe). So the code uses
// no C runtime function and keeps its buffers out of the stack (no stack probes either).
#include "win/kernel32/windows.hpp"

#define VK_NO_PROTOTYPES
#include <vulkan/vulkan.h>

namespace {

wchar_t path[32768];
VkPhysicalDevice devices[16];
VkExtensionProperties extensions[1024];

bool is_wanted_extension(const char* name) {
    const char* wanted = VK_EXT_FRAGMENT_DENSITY_MAP_EXTENSION_NAME;
    while (*name != 0 && *name == *wanted) {
        ++name;
        ++wanted;
    }
    return *name == *wanted;
}

// The probe's calls without its tables and checks: the loader from the application directory or
// System32 without critical-error boxes, an instance, the devices, each device's extensions.
bool any_device_offers_fragment_density_map() {
    DWORD previous_mode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_mode);
    HMODULE loader = LoadLibraryExW(L"vulkan-1.dll", nullptr,
                                    LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetThreadErrorMode(previous_mode, nullptr);
    if (loader == nullptr) {
        return false;
    }
    bool found = false;
    const auto get = reinterpret_cast<PFN_vkGetInstanceProcAddr>(
        reinterpret_cast<void*>(GetProcAddress(loader, "vkGetInstanceProcAddr")));
    const auto create =
        get != nullptr ? reinterpret_cast<PFN_vkCreateInstance>(get(nullptr, "vkCreateInstance")) : nullptr;
    VkInstanceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    VkInstance instance = nullptr;
    if (create != nullptr && create(&info, nullptr, &instance) == VK_SUCCESS) {
        const auto list_devices =
            reinterpret_cast<PFN_vkEnumeratePhysicalDevices>(get(instance, "vkEnumeratePhysicalDevices"));
        const auto list_extensions = reinterpret_cast<PFN_vkEnumerateDeviceExtensionProperties>(
            get(instance, "vkEnumerateDeviceExtensionProperties"));
        uint32_t device_count = 16;
        if (list_devices != nullptr && list_extensions != nullptr &&
            list_devices(instance, &device_count, devices) >= 0) {
            for (uint32_t d = 0; d < device_count && !found; ++d) {
                uint32_t count = 1024;
                if (list_extensions(devices[d], nullptr, &count, extensions) >= 0) {
                    for (uint32_t e = 0; e < count && !found; ++e) {
                        found = is_wanted_extension(extensions[e].extensionName);
                    }
                }
            }
        }
    }
    FreeLibrary(loader);
    return found;
}

int launch() {
    wchar_t command_line[] = L"hl2.exe -mobile";
    if (!any_device_offers_fragment_density_map()) {
        command_line[7] = 0;
    }
    DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    while (n > 0 && path[n - 1] != L'\\') {
        --n;
    }
    lstrcpyW(path + n, L"hl2.exe");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 101;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
}

}  // namespace

#ifdef FLOOR_BARE
extern "C" [[noreturn]] void floor_start() {
    ExitProcess(static_cast<UINT>(launch()));
}
#else
int wmain() {
    return launch();
}
#endif
