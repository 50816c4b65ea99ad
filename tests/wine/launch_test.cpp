// The whole launcher, end to end: ostrand.exe beside the stand-in game, started as a player would
// start it, and what the game received.
#include <algorithm>
#include <set>

#include "game_folder.hpp"

using harness::check;
using harness::GameFolder;
using harness::GameSetup;

namespace {

std::wstring widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

void command_lines() {
    // The launcher lies in C:\Games\Demo and is started without arguments. That folder is Wine's
    // throwaway prefix's own; on Windows the launcher lies in a temporary folder instead, and the line
    // expected is the one for that folder.
    const bool wine = harness::under_wine();
    if (wine) {
        CreateDirectoryW(L"C:\\Games", nullptr);
    }
    const GameFolder demo =
        harness::make_game_folder(wine ? L"C:\\Games\\Demo" : harness::fresh_dir(L"demo"));
    const auto plain = harness::launch(demo);
    const std::string demo_line =
        wine ? "\"C:\\\\Games\\\\Demo\\\\hl2.exe\" " + harness::fixed_arguments + " -windowed" +
                   harness::system_mobile()
             : harness::expected_line(demo, "", " -windowed" + harness::system_mobile());
    check(plain.run.exit_code == 0, "plain start: exit 0", plain);
    check(plain.received.command_line == demo_line,
          "plain start: command line, got " + plain.received.command_line, plain);

    struct Case {
        const char* label;
        std::wstring arguments;
        const wchar_t* vulkan;
        std::string user, tail;
    } cases[] = {
        {"player's arguments, -d3d9 dropped, full screen, -mobile", L"A B -D3D9 -fullscreen",
         L"fake_vulkan.dll", "A B -fullscreen ", " -mobile"},
        {"-full suppresses -windowed", L"-full", nullptr, "-full ", ""},
        {"other case is no full-screen request", L"-Full -FULLSCREEN", nullptr, "-Full -FULLSCREEN ",
         " -windowed"},
        {"-d3d9 with a space is forwarded", L"\"-d3d9 \" -d3D9 \" -d3d9\"", nullptr, "\"-d3d9 \" \" -d3d9\" ",
         " -windowed"},
        {"quotes, backslashes and empty arguments survive", L"\"a b\\\\\" \"\" x\\\"y", nullptr,
         "\"a b\\\\\\\\\" \"\" x\\\\\"y ", " -windowed"},
        {"repeated fixed arguments are kept", L"-game other -w 640", nullptr, "-game other -w 640 ",
         " -windowed"},
    };
    for (const auto& c : cases) {
        const GameFolder folder = harness::fresh_game_folder(L"args", GameSetup{true, c.vulkan});
        const auto started = harness::launch_with(
            L"FAKE_VULKAN", c.vulkan != nullptr ? L"second_device" : nullptr, folder, c.arguments);
        const std::string expected = harness::expected_line(
            folder, c.user, c.tail + (c.vulkan == nullptr ? harness::system_mobile() : ""));
        check(started.run.exit_code == 0 && started.received.command_line == expected,
              std::string(c.label) + ": got " + started.received.command_line + ", expected " + expected,
              started);
    }
}

void environment_and_directory() {
    // The game is a GUI program, and so is this stand-in: what it finds in its standard handles is then
    // what the launcher passed. (Wine 10, unlike Wine 8, gives a console program that the windowless
    // launcher starts a console of its own and puts that console's input where the launcher passed none.)
    const GameFolder folder = harness::fresh_game_folder(L"env", GameSetup{true, nullptr, true});
    const std::wstring elsewhere = harness::fresh_dir(L"cwd");

    // The block the launcher is started with: this test's own, plus variables that exercise the merge.
    std::vector<std::wstring> given = harness::environment_strings();
    given.insert(given.end(), {L"dxvk_async=0", L"A_B=2", L"AB=3", L"EMPTY_VALUE=", L"zorv_extra=\u00e9"});
    std::wstring block;
    for (const auto& entry : given) {
        block += entry + L'\0';
    }
    block.push_back(L'\0');

    harness::RunOptions options;
    options.environment = block.c_str();
    options.current_directory = elsewhere.c_str();
    // What any program started with that block gets under Wine, and what the game gets through the launcher.
    const auto direct = harness::start(folder, folder.dir + L"\\hl2.exe", L"hl2", options);
    const auto& baseline = direct.received;
    const auto started = harness::launch(folder, {}, options);
    const auto& received = started.received;
    check(direct.run.exit_code == 0 && baseline.present, "stand-in game runs directly", direct);
    check(started.run.exit_code == 0 && received.present, "launcher started the game", started);

    // Wine takes the names that it manages out of every block given to CreateProcessW and appends its own
    // values at the end (SystemDrive, SystemRoot and its WINE* variables); under Wine those are left out
    // here. (Wine 10 also overwrites PROCESSOR_ARCHITECTURE in place; the value passed on is Wine's own,
    // so it stays equal.) Windows passes a block on as it is given.
    auto managed = [wine = harness::under_wine()](const std::string& entry) {
        return wine && (entry.starts_with("WINE") || entry.starts_with("SystemDrive=") ||
                        entry.starts_with("SystemRoot="));
    };
    std::set<std::string> passed;
    for (const auto& entry : given) {
        passed.insert(harness::escaped(entry));
    }
    auto ours = [&](const std::string& entry) { return passed.count(entry) != 0 && !managed(entry); };
    std::vector<std::string> expected;
    for (const auto& entry : baseline.environment) {
        if (ours(entry)) {
            expected.push_back(entry == "dxvk_async=0" ? "dxvk_async=1" : entry);
        }
    }
    expected.push_back("DXVK_STATE_CACHE=1");
    expected.push_back("ZORV_STATE_CACHE_PATH=" + harness::escaped(folder.dir) + "\\\\dxvk-cache");
    std::stable_sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
        return harness::name_less(widen(a), widen(b));
    });
    std::vector<std::string> got;
    for (const auto& entry : received.environment) {
        const bool override_entry = entry.starts_with("DXVK_STATE_CACHE=") ||
                                    entry.starts_with("ZORV_STATE_CACHE_PATH=") || entry == "dxvk_async=1";
        if (ours(entry) || override_entry) {
            got.push_back(entry);
        }
    }
    check(got == expected,
          "environment: every inherited variable, the overrides merged, in Windows order: " +
              harness::difference(got, expected),
          started);
    const bool upper_async = std::any_of(received.environment.begin(), received.environment.end(),
                                         [](const std::string& e) { return e.starts_with("DXVK_ASYNC="); });
    check(!upper_async, "an inherited dxvk_async keeps its own name", started);
    check(received.current_directory == harness::escaped(elsewhere),
          "the game runs in the launcher's current directory, got " + received.current_directory, started);
    check(received.std_handles == "set input=null output=present error=present",
          "standard handles passed on as the launcher has them, got " + received.std_handles, started);

    harness::RunOptions none;
    none.std_handles = false;
    const auto without = harness::launch(folder, {}, none);
    check(without.received.std_handles.starts_with("unset"),
          "no standard handles: the game gets the system's defaults, got " + without.received.std_handles,
          without);
}

// The shell starts a program with values of its own in the standard slots: from a shortcut's hotkey
// with STARTF_USEHOTKEY and the hotkey in the input slot, from the taskbar or the Start menu with 0x400
// and a monitor in the output slot. The game starts all the same, with no stream for such a slot and
// the launcher's others. Windows puts those values into the slots and Wine does not, so the stand-in
// Vulkan loader, which the launcher loads before it starts the game, puts them there.
void shell_starts() {
    const GameFolder folder = harness::fresh_game_folder(L"shell", GameSetup{true, L"fake_vulkan.dll", true});
    struct Case {
        const char* label;
        DWORD flags;
        const wchar_t* slot;
        std::string handles;
    } cases[] = {
        {"from a hotkey whose value names a handle of the launcher", STARTF_USEHOTKEY, L"hotkey_handle",
         "set input=null output=present error=present"},
        {"a value that is no handle in the output slot, without a flag", STARTF_USESTDHANDLES,
         L"stray_output", "set input=null output=null error=present"},
    };
    for (const auto& c : cases) {
        harness::RunOptions options;
        options.startup_flags = c.flags;
        const auto started = harness::launch_with(L"FAKE_VULKAN", c.slot, folder, {}, options);
        check(started.run.exit_code == 0 && started.received.std_handles == c.handles,
              std::string(c.label) + ": the game's standard handles, got " + started.received.std_handles +
                  ", expected " + c.handles,
              started);
    }
}

void game_endings() {
    const GameFolder folder = harness::fresh_game_folder(L"endings");
    for (const auto& [label, variable] : {std::pair{"game exits with 1", L"STAND_IN_EXIT_CODE"},
                                          std::pair{"game crashes", L"STAND_IN_CRASH"}}) {
        const auto started = harness::launch_with(variable, L"1", folder);
        check(started.run.exit_code == 0 && started.received.present,
              std::string(label) + ": launcher exits 0", started);
    }

    // The launcher returns only once the game has ended.
    const ULONGLONG start = GetTickCount64();
    const auto started = harness::launch_with(L"STAND_IN_SLEEP_MS", L"1500", folder);
    const ULONGLONG elapsed = GetTickCount64() - start;
    check(started.run.exit_code == 0 && elapsed >= 1500,
          "the launcher waits for the game, took " + std::to_string(elapsed) + " ms", started);
}

// What this system says for an error code, without the trailing line end: Wine's texts differ from
// Windows', so the report is compared with the system under test, not with a constant.
std::string system_text(DWORD code) {
    wchar_t message[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                             message, 512, nullptr);
    while (n > 0 && (message[n - 1] == L'\r' || message[n - 1] == L'\n' || message[n - 1] == L' ')) {
        --n;
    }
    return harness::show(std::wstring_view(message, n));
}

void missing_game() {
    const GameFolder folder = harness::fresh_game_folder(L"nogame", GameSetup{false, nullptr});
    const auto started = harness::launch(folder);
    const std::string text = system_text(2);
    check(started.run.exit_code == 101, "no hl2.exe: exit 101", started);
    check(harness::is_report(
              started.run.std_error,
              "Failed to launch Half-Life 2: Os { code: 2, kind: NotFound, message: \"" + text + "\" }\n"),
          "no hl2.exe: report", started);

    harness::RunOptions none;
    none.std_handles = false;
    const auto silent = harness::launch(folder, {}, none);
    check(silent.run.exit_code == 101 && silent.run.std_error.empty(),
          "no hl2.exe, no standard error: 101 and nothing written", silent);
}

// Windows takes a command line of at most 32,766 units and refuses a longer one with error 206. Wine
// does not refuse it: it cuts the line at 32,766 units and starts the program with what is left (the
// fixed arguments at the end lose their last units). The launcher must refuse such a line itself,
// so that under Wine, as on Windows, the longest line reaches the game whole and one unit more
// starts nothing.
void over_long_command_line() {
    for (const std::size_t game_line_units : {std::size_t{32766}, std::size_t{32767}}) {
        const GameFolder folder = harness::fresh_game_folder(L"long");
        // The game's line is its quoted program path, a space, the player's argument, a space and the
        // fixed arguments with -windowed, and -mobile where a GPU of the system offers it.
        const std::wstring rest = harness::quoted(folder.dir + L"\\hl2.exe") + L"  " +
                                  widen(harness::fixed_arguments) + L" -windowed" +
                                  widen(harness::system_mobile());
        const std::string argument(game_line_units - rest.size(), 'a');
        const auto started = harness::launch(folder, widen(argument));
        const std::string label = std::to_string(game_line_units) + " units: ";
        if (game_line_units == 32766) {
            check(started.run.exit_code == 0 &&
                      started.received.command_line ==
                          harness::expected_line(folder, argument + " ",
                                                 " -windowed" + harness::system_mobile()),
                  label + "the game gets the whole line (" +
                      std::to_string(started.received.command_line.size()) + " bytes recorded)",
                  started);
        } else {
            check(started.run.exit_code == 101 && !started.received.present, label + "exit 101 and no game",
                  started);
            check(harness::is_report(
                      started.run.std_error,
                      "Failed to launch Half-Life 2: Os { code: 206, kind: InvalidFilename, message: \"" +
                          system_text(206) + "\" }\n"),
                  label + "report", started);
        }
    }
}

}  // namespace

int wmain() {
    command_lines();
    environment_and_directory();
    shell_starts();
    game_endings();
    missing_game();
    over_long_command_line();
    return harness::finish();
}
