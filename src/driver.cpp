// Portable: the launch driver. The order of its steps is observable and fixed: executable path,
// own arguments, the Vulkan probe, the start of the game, the wait.
#include "driver.hpp"

#include "plan.hpp"
#include "probe.hpp"
#include "report/fatal.hpp"
#include "win/child.hpp"
#include "win/own_inputs.hpp"

namespace ostrand {
namespace {

// The plan holds its arguments as text; a start takes every string in the system's form.
SpawnRequest spawn_request(const LaunchPlan& plan) {
    SpawnRequest request{plan.program_path, {}, plan.environment_overrides};
    request.arguments.reserve(plan.arguments.size());
    for (const std::string& argument : plan.arguments) {
        request.arguments.push_back(NativeString::from_text(argument));
    }
    return request;
}

}  // namespace

void launch(const Platform& platform, std::string_view game_directory) {
    auto path = executable_path(platform.self);
    if (!path) {
        fatal("Failed to determine path", path.error());
    }
    const std::vector<std::string> arguments = own_arguments(platform.self);
    const bool fragment_density_map = supports_fragment_density_map(platform.loader);
    const LaunchPlan plan = build_launch_plan(*path, arguments, fragment_density_map, game_directory);

    auto child = spawn_child(spawn_request(plan), SpawnSystem{platform.process, platform.env, platform.self});
    if (!child) {
        fatal("Failed to launch Half-Life 2", child.error());
    }
    // The game's own exit status is not passed on. A failed wait leaves the game running: only the
    // launcher's handles to it are closed on the way out.
    auto waited = wait_child(*child, platform.process);
    if (!waited) {
        fatal("Failed to run Half-Life 2", waited.error());
    }
    // The child's handles close here, the process handle first, then the thread handle.
}

}  // namespace ostrand
