// Portable: composing the launch plan is pure string work; the driver feeds it and carries it out.
#include "plan.hpp"

#include <algorithm>
#include <iterator>

#include "win/path.hpp"
#include "win/strings/ascii.hpp"

namespace ostrand {

namespace {

bool is_d3d9_switch(std::string_view argument) {
    return equals_ascii_ignoring_case(argument, "-d3d9");
}

bool asks_for_full_screen(std::string_view argument) {
    return argument == "-full" || argument == "-fullscreen";
}

// "-game" is followed by the game directory given to build_launch_plan. "-refresh 0" is one argument;
// the command-line encoder quotes it for the space inside.
constexpr std::string_view fixed_arguments[] = {
    "-w",           "1280",    "-h",         "720",        "-novid",       "-condebug",
    "-conclearlog", "-high",   "-refresh 0", "-noasserts", "-hushasserts", "-dxlevel",
    "98",           "-vulkan", "-gamepadui", "-steam",     "-game",
};

}  // namespace

LaunchPlan build_launch_plan(const NativeString& executable_path,
                             const std::vector<std::string>& own_arguments, bool fragment_density_map,
                             std::string_view game_directory) {
    LaunchPlan plan;

    const NativeString directory = path_parent(executable_path).value_or(NativeString::from_text("."));
    plan.program_path = path_join(directory, NativeString::from_text("hl2.exe"));
    plan.cache_path = path_join(directory, NativeString::from_text("dxvk-cache"));

    if (!own_arguments.empty()) {
        std::copy_if(own_arguments.begin() + 1, own_arguments.end(), std::back_inserter(plan.arguments),
                     [](const std::string& argument) { return !is_d3d9_switch(argument); });
    }
    const bool full_screen =
        std::any_of(plan.arguments.begin(), plan.arguments.end(),
                    [](const std::string& argument) { return asks_for_full_screen(argument); });

    plan.arguments.insert(plan.arguments.end(), std::begin(fixed_arguments), std::end(fixed_arguments));
    plan.arguments.emplace_back(game_directory);
    if (!full_screen) {
        plan.arguments.emplace_back("-windowed");
    }
    if (fragment_density_map) {
        plan.arguments.emplace_back("-mobile");
    }

    plan.environment_overrides = {
        {NativeString::from_text("DXVK_STATE_CACHE"), NativeString::from_text("1")},
        {NativeString::from_text("ZORV_STATE_CACHE_PATH"), plan.cache_path},
        {NativeString::from_text("DXVK_ASYNC"), NativeString::from_text("1")},
    };
    return plan;
}

}  // namespace ostrand
