// The Vulkan probe inside the real launcher, with a stand-in vulkan-1.dll beside it (loaded from the
// application directory before the system's own), seen through what the stand-in game receives.
#include "game_folder.hpp"

using harness::check;
using harness::GameFolder;
using harness::GameSetup;

namespace {

bool ends_with_mobile(const std::string& line) {
    return line.ends_with(" -windowed -mobile");
}

void answers() {
    // With no stand-in beside it the launcher asks the system's own loader, whose answer is the real
    // drivers' (system_mobile). Without a display Wine 8's loader creates no instance; Wine 10's lists
    // lavapipe, which lacks the extension.
    const bool system_answer = !harness::system_mobile().empty();
    struct Case {
        const char* label;
        const wchar_t* dll;
        const wchar_t* scenario;
        bool mobile;
    } cases[] = {
        {"second device offers it after the first device's listing fails", L"fake_vulkan.dll",
         L"second_device", true},
        {"only look-alike names", L"fake_vulkan.dll", L"no_match", false},
        {"a listing that answers VK_INCOMPLETE forever does not hang the launch", L"fake_vulkan.dll",
         L"incomplete_forever", false},
        {"a library without vkGetInstanceProcAddr", L"fake_vulkan_no_entry.dll", L"second_device", false},
        {"the system's own loader", nullptr, L"", system_answer},
    };
    for (const auto& c : cases) {
        const GameFolder folder = harness::fresh_game_folder(L"probe", GameSetup{true, c.dll});
        const auto started = harness::launch_with(L"FAKE_VULKAN", c.scenario, folder);
        check(started.run.exit_code == 0 && started.received.present, std::string(c.label) + ": game started",
              started);
        check(ends_with_mobile(started.received.command_line) == c.mobile,
              std::string(c.label) + ": \"-mobile\" " + (c.mobile ? "expected" : "not expected") + ", got " +
                  started.received.command_line,
              started);
        check(started.run.std_error.empty(), std::string(c.label) + ": nothing written", started);
    }
}

void fatal_endings() {
    const GameFolder folder = harness::fresh_game_folder(L"fatal", GameSetup{true, L"fake_vulkan.dll"});
    {
        const auto started = harness::launch_with(L"FAKE_VULKAN", L"no_create_instance", folder);
        const std::string& err = started.run.std_error;
        check(started.run.exit_code == 0xC0000409, "missing vkCreateInstance: fail-fast", started);
        check(!started.received.present, "missing vkCreateInstance: no game started", started);
        const auto first = err.find("\nUnable to load create_instance\n");
        const auto second = err.find("\nthread 'main' (", first == std::string::npos ? 0 : first + 1);
        check(err.starts_with("\nthread 'main' (") && first != std::string::npos &&
                  second != std::string::npos &&
                  err.ends_with("cannot be passed up to its caller\naborting the process\n"),
              "missing vkCreateInstance: two reports and the aborting line", started);
    }
    {
        const auto started = harness::launch_with(L"FAKE_VULKAN", L"huge_extensions", folder);
        check(started.run.exit_code == 0xC0000409, "unallocatable extension array: fail-fast", started);
        check(started.run.std_error == "memory allocation of 1116691496700 bytes failed\n",
              "unallocatable extension array: report", started);
        check(!started.received.present, "unallocatable extension array: no game started", started);
    }
}

// Only the application directory and System32 are searched for the loader: a vulkan-1.dll in the
// current directory must never run inside the launcher. Wine finds its own loader through
// System32\vulkan-1.dll; with that file moved away (a machine without a Vulkan runtime) the standard
// search order would fall through to the current directory. Under Wine the file is moved away and
// back, in the test's throwaway prefix. On Windows it is the system's own (and the machine may need it):
// the case runs only where System32 holds none.
void loader_search() {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring runtime = std::wstring(system) + L"\\vulkan-1.dll";
    const std::wstring moved = runtime + L".moved";
    const bool wine = harness::under_wine();
    if (!wine && GetFileAttributesW(runtime.c_str()) != INVALID_FILE_ATTRIBUTES) {
        harness::skip("the loader search: System32 holds a Vulkan loader (" + harness::utf8(runtime) +
                      "), which every search order finds before one in the current directory, and the "
                      "system's own files stay where they are: the case needs a Windows without one");
        return;
    }
    if (wine) {
        MoveFileExW(moved.c_str(), runtime.c_str(), 0);  // left over from an interrupted run
        check(MoveFileExW(runtime.c_str(), moved.c_str(), 0) != 0, "System32's vulkan-1.dll moved away");
    }

    const std::wstring planted = harness::fresh_dir(L"planted");
    harness::copy(harness::build_dir() + L"\\fake_vulkan.dll", planted + L"\\vulkan-1.dll");
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(planted.c_str());
    // The standard order does find the planted copy here: the test can tell the two orders apart.
    HMODULE standard = LoadLibraryExW(L"vulkan-1.dll", nullptr, 0);
    check(standard != nullptr && GetProcAddress(standard, "vkGetInstanceProcAddr") != nullptr,
          "control: the standard search order loads the copy in the current directory");
    if (standard != nullptr) {
        FreeLibrary(standard);
    }
    SetCurrentDirectoryW(previous);

    const GameFolder folder = harness::fresh_game_folder(L"search");
    harness::RunOptions options;
    options.current_directory = planted.c_str();
    auto started = harness::launch_with(L"FAKE_VULKAN", L"second_device", folder, {}, options);
    check(started.run.exit_code == 0 && started.received.present &&
              !ends_with_mobile(started.received.command_line),
          "a vulkan-1.dll only in the current directory is not loaded, got " + started.received.command_line,
          started);

    // One beside the launcher is still found.
    const GameFolder beside = harness::fresh_game_folder(L"beside", GameSetup{true, L"fake_vulkan.dll"});
    started = harness::launch_with(L"FAKE_VULKAN", L"second_device", beside, {}, options);
    check(started.run.exit_code == 0 && ends_with_mobile(started.received.command_line),
          "a vulkan-1.dll beside the launcher is loaded, got " + started.received.command_line, started);

    if (wine) {
        check(MoveFileExW(moved.c_str(), runtime.c_str(), 0) != 0, "System32's vulkan-1.dll restored");
    }
}

}  // namespace

int wmain() {
    answers();
    fatal_endings();
    loader_search();
    return harness::finish();
}
