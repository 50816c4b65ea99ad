// The launcher against whatever Vulkan loader and driver the system has, in one of four settings that
// real_vulkan_test.sh arranges from the Unix environment:
//   real_vulkan_check display    an instance and one device without the fragment density map
//   real_vulkan_check no-driver  no instance can be created
//   real_vulkan_check layer      a layer adds the fragment density map to the device: the game gets "-mobile"
//   real_vulkan_check no-layer   the same machine without the layer: no "-mobile"
// The first two hold the Vulkan binding itself against the loader, then the probe, which must answer
// false in both; the last two start the launcher beside the stand-in game. Wine programs that this one
// starts share its Unix environment, where the host's loader reads which layers to enable.
#include <cstring>

#include "game_folder.hpp"
#include "platform.hpp"
#include "probe.hpp"
#include "vulkan_loader.hpp"

using harness::check;

namespace {

void binding_and_probe(bool display) {
    ostrand::LoaderApi& loader = ostrand::system_platform().loader;
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
}

// The launcher started with `arguments`; the game must get them, the fixed arguments and `tail`.
void launch(const std::wstring& arguments, const std::string& user, const std::string& tail) {
    const harness::GameFolder folder = harness::fresh_game_folder(L"real-vulkan");
    const auto started = harness::launch(folder, arguments);
    const std::string expected = harness::expected_line(folder, user, tail);
    check(started.run.exit_code == 0 && started.received.command_line == expected,
          "arguments '" + harness::show(arguments) + "': expected " + expected + ", received " +
              started.received.command_line,
          started);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring setting = argc > 1 ? argv[1] : L"";
    if (setting == L"display" || setting == L"no-driver") {
        binding_and_probe(setting == L"display");
    } else if (setting == L"layer") {
        launch(L"", "", " -windowed -mobile");
        launch(L"-fullscreen", "-fullscreen ", " -mobile");
    } else if (setting == L"no-layer") {
        launch(L"", "", " -windowed");
    } else {
        check(false, "a setting: display, no-driver, layer or no-layer");
    }
    return harness::finish();
}
