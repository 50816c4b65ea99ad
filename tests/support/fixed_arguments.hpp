// Test support, shared by the unit tests and the Wine tests: the eighteen arguments that the game
// receives after the player's, with "zorv" as its directory, written once for every test that expects
// them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrand::test_support {

inline const std::vector<std::string> fixed_arguments = {
    "-w",           "1280",    "-h",         "720",        "-novid",       "-condebug",
    "-conclearlog", "-high",   "-refresh 0", "-noasserts", "-hushasserts", "-dxlevel",
    "98",           "-vulkan", "-gamepadui", "-steam",     "-game",        "zorv",
};

// The same as they stand on the game's command line: one space between two, and "-refresh 0" in
// quotes for the space inside.
inline std::string fixed_arguments_line() {
    std::string line;
    for (const std::string& argument : fixed_arguments) {
        line += line.empty() ? "" : " ";
        line += argument.find(' ') == std::string_view::npos ? argument : "\"" + argument + "\"";
    }
    return line;
}

}  // namespace ostrand::test_support
