// Windows-side test support: a game folder with the launcher, the stand-in game and optionally a
// stand-in Vulkan loader, and what the stand-in game recorded.
#pragma once

#include <string>
#include <vector>

#include "../support/fixed_arguments.hpp"
#include "harness.hpp"

namespace harness {

struct GameFolder {
    std::wstring dir;
    std::wstring launcher() const { return dir + L"\\ostrand.exe"; }
};

struct GameSetup {
    bool game = true;                 // put the stand-in hl2.exe there
    const wchar_t* vulkan = nullptr;  // a stand-in loader to copy in as vulkan-1.dll
    bool windowless = false;          // the stand-in built as a GUI program, as the real game is
};

inline GameFolder make_game_folder(const std::wstring& dir, const GameSetup& setup = {}) {
    CreateDirectoryW(dir.c_str(), nullptr);
    DeleteFileW((dir + L"\\received.txt").c_str());
    DeleteFileW((dir + L"\\hl2.exe").c_str());
    DeleteFileW((dir + L"\\vulkan-1.dll").c_str());
    const std::wstring build = build_dir();
    copy(build + L"\\ostrand.exe", dir + L"\\ostrand.exe");
    if (setup.game) {
        copy(build + (setup.windowless ? L"\\stand_in_game_gui.exe" : L"\\stand_in_game.exe"),
             dir + L"\\hl2.exe");
    }
    if (setup.vulkan != nullptr) {
        copy(build + L"\\" + setup.vulkan, dir + L"\\vulkan-1.dll");
    }
    return GameFolder{dir};
}

struct Received {
    bool present = false;
    std::string command_line;
    std::string current_directory;
    std::string std_handles;
    std::vector<std::string> environment;  // block order
};

inline Received read_received(const GameFolder& folder) {
    Received received;
    const std::string text = read_file(folder.dir + L"\\received.txt");
    received.present = !text.empty();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        auto value = [&](std::string_view key) { return line.substr(key.size()); };
        if (line.starts_with("command_line=")) {
            received.command_line = value("command_line=");
        } else if (line.starts_with("current_directory=")) {
            received.current_directory = value("current_directory=");
        } else if (line.starts_with("std_handles=")) {
            received.std_handles = value("std_handles=");
        } else if (line.starts_with("env=")) {
            received.environment.push_back(value("env="));
        }
    }
    return received;
}

// The eighteen fixed arguments as the game's command line shows them.
inline const std::string fixed_arguments = ostrand::test_support::fixed_arguments_line();

}  // namespace harness
