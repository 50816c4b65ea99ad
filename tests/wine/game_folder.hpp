// Windows-side test support: a game folder with the launcher, the stand-in game and optionally a
// stand-in Vulkan loader, and what the stand-in game recorded.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "../support/fixed_arguments.hpp"
#include "harness.hpp"
#include "platform.hpp"
#include "probe.hpp"

namespace harness {

struct GameFolder {
    std::wstring dir;
    std::wstring launcher() const { return dir + L"\\ostrand.exe"; }
    std::wstring record() const { return dir + L"\\received.txt"; }
};

struct GameSetup {
    bool game = true;                 // put the stand-in hl2.exe there
    const wchar_t* vulkan = nullptr;  // a stand-in loader to copy in as vulkan-1.dll
    bool windowless = false;          // the stand-in built as a GUI program, as the real game is
};

inline GameFolder make_game_folder(const std::wstring& dir, const GameSetup& setup = {}) {
    CreateDirectoryW(dir.c_str(), nullptr);
    DeleteFileW((dir + L"\\hl2.exe").c_str());
    DeleteFileW((dir + L"\\vulkan-1.dll").c_str());
    const std::wstring build = build_dir();
    copy(launcher_image(), dir + L"\\ostrand.exe");
    if (setup.game) {
        copy(build + (setup.windowless ? L"\\stand_in_game_gui.exe" : L"\\stand_in_game.exe"),
             dir + L"\\hl2.exe");
    }
    if (setup.vulkan != nullptr) {
        copy(build + L"\\" + setup.vulkan, dir + L"\\vulkan-1.dll");
    }
    return GameFolder{dir};
}

// A game folder in a fresh directory of this test's own (fresh_dir).
inline GameFolder fresh_game_folder(const std::wstring& name, const GameSetup& setup = {}) {
    return make_game_folder(fresh_dir(name), setup);
}

struct Received {
    bool present = false;
    std::string command_line;
    std::string current_directory;
    std::string std_handles;
    std::vector<std::string> environment;  // block order
    // Where the process that started the game had its image and process heap, and its threads'
    // stack tops as the stand-in lists them.
    std::uint64_t parent_image = 0;
    std::uint64_t parent_heap = 0;
    std::string parent_stacks;
};

inline Received read_received(const GameFolder& folder) {
    Received received;
    const std::string text = read_file(folder.record());
    received.present = !text.empty();
    for (const std::string& line : lines_of(text)) {
        const std::string key = line.substr(0, line.find('=') + 1);
        const std::string value = line.substr(key.size());
        if (key == "command_line=") {
            received.command_line = value;
        } else if (key == "current_directory=") {
            received.current_directory = value;
        } else if (key == "std_handles=") {
            received.std_handles = value;
        } else if (key == "env=") {
            received.environment.push_back(value);
        } else if (key == "parent_image=") {
            char* rest = nullptr;
            received.parent_image = std::strtoull(value.c_str(), &rest, 16);
            if (std::string_view(rest).starts_with(" parent_heap=")) {
                received.parent_heap = std::strtoull(rest + 13, &rest, 16);
            }
            if (std::string_view(rest).starts_with(" parent_stacks=")) {
                received.parent_stacks = rest + 15;
            }
        }
    }
    return received;
}

// One start of a program in a game folder, and what the game recorded of it.
struct Start {
    RunResult run;
    Received received;
};

// Starts `application` with exactly `command_line`, once any record of an earlier start is gone.
inline Start start(const GameFolder& folder, const std::wstring& application,
                   const std::wstring& command_line, const RunOptions& options = {}) {
    DeleteFileW(folder.record().c_str());
    Start result{run(application, command_line, options), {}};
    result.received = read_received(folder);
    return result;
}

inline std::string seen(const Start& started) {
    return seen(started.run) + ", game record: " + (started.received.present ? "written" : "none");
}

// The base that the launcher's image is linked at: the one OSTRAND_LAUNCHER_BASE names for a copy
// moved elsewhere, else the one the build links it at.
inline std::uint64_t launcher_base() {
    wchar_t text[32];
    const DWORD n = GetEnvironmentVariableW(L"OSTRAND_LAUNCHER_BASE", text, 32);
    return n > 0 && n < 32 ? std::wcstoull(text, nullptr, 0) : 0x140000000;
}

// Where the launcher of a start that reached the game had its image, its heap and its stack, read
// from it by the game while it waited. Wine maps the image at its linked base; Windows' ASLR never
// leaves it there, and with high-entropy ASLR (which the image asks for) puts it above 4 GiB. With
// high_memory_only the heap lies above 4 GiB too, as Windows places it anyway. (Wine 8 leaves the main
// thread's stack below even then: it exists before the launcher runs.) The last one seen closes the
// test's output.
inline void check_launcher_memory(const Start& started, const RunOptions& options) {
    if (!started.received.present) {
        return;
    }
    const auto& received = started.received;
    if (under_wine()) {
        check(received.parent_image == launcher_base(),
              "the launcher ran at " + hex(launcher_base()) + ", got " + hex(received.parent_image), started);
    } else {
        check(received.parent_image != launcher_base() && received.parent_image >= std::uint64_t{1} << 32,
              "the launcher's image moved from " + hex(launcher_base()) + " to above 4 GiB, got " +
                  hex(received.parent_image),
              started);
    }
    if (options.high_memory_only) {
        check(received.parent_heap >= std::uint64_t{1} << 32,
              "the launcher's heap lay above 4 GiB, got " + hex(received.parent_heap), started);
    }
    closing_note = "launcher seen with its image at " + hex(received.parent_image) +
                   ", its process heap at " + hex(received.parent_heap) + ", its threads' stack tops at " +
                   received.parent_stacks;
    if (options.high_memory_only) {
        closing_note += ", " + std::to_string(started.run.low_memory_reserved >> 20) +
                        " MiB below 4 GiB reserved before it ran";
    }
}

// Starts the folder's launcher as a player would, by its quoted path and then `arguments`.
inline Start launch(const GameFolder& folder, const std::wstring& arguments = {},
                    const RunOptions& options = {}) {
    const std::wstring line = quoted(folder.launcher()) + (arguments.empty() ? L"" : L" " + arguments);
    Start started = start(folder, folder.launcher(), line, options);
    check_launcher_memory(started, options);
    return started;
}

// launch, with this process's environment variable `name` set to `value` (or unset, when null) for that
// start alone: the stand-in game and the stand-in Vulkan loader take what they are to do from it.
inline Start launch_with(const wchar_t* name, const wchar_t* value, const GameFolder& folder,
                         const std::wstring& arguments = {}, const RunOptions& options = {}) {
    SetEnvironmentVariableW(name, value);
    Start started = launch(folder, arguments, options);
    SetEnvironmentVariableW(name, nullptr);
    return started;
}

// What the launcher adds last when no stand-in loader lies beside it and it asks the system's own:
// " -mobile" when a GPU of the machine offers the fragment density map, as the same probe run in this
// process answers. (Under Wine, wine-run shows the host's loader lavapipe alone, which offers none; on
// Windows the answer is the real drivers'.)
inline const std::string& system_mobile() {
    static const std::string tail =
        ostrand::supports_fragment_density_map(ostrand::system_platform().loader) ? " -mobile" : "";
    return tail;
}

// The eighteen fixed arguments as the game's command line shows them.
inline const std::string fixed_arguments = ostrand::test_support::fixed_arguments_line();

// The game's command line as the stand-in records it for a start in `folder`: its quoted path, the
// player's part `user` (with its trailing space), the fixed arguments, then `tail`.
inline std::string expected_line(const GameFolder& folder, const std::string& user, const std::string& tail) {
    return "\"" + escaped(folder.dir) + "\\\\hl2.exe\" " + user + fixed_arguments + tail;
}

}  // namespace harness
