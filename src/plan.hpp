// Portable: what the game is started with, derived from the launcher's own path and arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/environment.hpp"
#include "win/strings/native_string.hpp"

namespace ostrand {

struct LaunchPlan {
    NativeString program_path;
    NativeString cache_path;
    std::vector<std::string> arguments;
    std::vector<EnvOverride> environment_overrides;
};

// `own_arguments` starts with the launcher's program name. Never fails.
LaunchPlan build_launch_plan(const NativeString& executable_path,
                             const std::vector<std::string>& own_arguments, bool fragment_density_map,
                             std::string_view game_directory);

}  // namespace ostrand
