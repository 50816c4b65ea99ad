// Runs the launcher's Vulkan binding against whatever loader the system has:
//   real_vulkan_check display    expects an instance and one device without the fragment density map
//   real_vulkan_check no-driver  expects the instance creation to fail
// and then the probe itself, which must answer false in both cases.
#include <cstdio>
#include <cstring>

#include "loader.hpp"
#include "platform.hpp"
#include "probe.hpp"

int wmain(int argc, wchar_t** argv) {
    const bool display = argc > 1 && std::wcscmp(argv[1], L"display") == 0;
    ostrand::LoaderApi& loader = ostrand::system_platform().loader;
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
        failures += ok ? 0 : 1;
    };
    {
        auto global = ostrand::load_vulkan_loader(loader);
        check(global.has_value(), "Wine's vulkan-1.dll loads from System32");
        if (global) {
            auto instance = ostrand::create_vulkan_instance(*global, ostrand::bare_instance_info, nullptr);
            if (display) {
                check(instance.has_value(), "an instance is created with a display");
                if (instance) {
                    auto devices = ostrand::list_physical_devices(*instance);
                    check(devices.has_value() && devices->elements().size() == 1,
                          "one physical device (lavapipe)");
                    if (devices && !devices->elements().empty()) {
                        auto extensions = ostrand::list_device_extensions(*instance, devices->elements()[0]);
                        check(extensions.has_value() && !extensions->elements().empty(),
                              "the device lists its extensions");
                        bool found = false;
                        if (extensions) {
                            for (const VkExtensionProperties& e : extensions->elements()) {
                                found =
                                    found || std::strcmp(e.extensionName, "VK_EXT_fragment_density_map") == 0;
                            }
                        }
                        check(!found, "lavapipe does not offer VK_EXT_fragment_density_map");
                    }
                }
            } else {
                check(!instance.has_value(), "no instance without a Vulkan driver");
            }
        }
    }
    check(!ostrand::supports_fragment_density_map(loader), "the probe answers false");
    std::printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures);
    return failures == 0 ? 0 : 1;
}
