// Portable: the launch driver. The order of its steps is observable and fixed: executable path,
// own arguments, then everything else.
#include "driver.hpp"

#include "report/fatal.hpp"
#include "win/command_line.hpp"

namespace ostrand {

void launch(const Platform& platform, std::string_view game_directory) {
    auto path = executable_path(platform.self, platform.report);
    if (!path) {
        fatal(platform.report, "Failed to determine path", path.error());
    }
    const std::vector<std::string> arguments = own_arguments(platform.self, platform.report);
    (void)arguments;
    (void)game_directory;
}

}  // namespace ostrand
