// The launcher's own inputs and fatal reports, seen from a parent process.
#include "game_folder.hpp"

using harness::check;

namespace {

// The launcher's report on a console of its own as standard error, whose output code page (850) is not
// UTF-8: the report must come through WriteConsoleW, so that letters beyond ASCII read back as they
// were. The same UTF-8 bytes through WriteFile would show as that code page reads them ("\u251c\u00ae"
// for "\u00e9"). The launcher fails on an argument that is not valid Unicode, which the report quotes
// with its letters, in a folder without a game.
void report_on_a_console() {
    // A fresh console without a window: the console stand-in game, started with CREATE_NO_WINDOW, gets
    // one (Windows keeps its window hidden, Wine runs it without one, no display needed) and waits while
    // this test attaches to it. Its console exists once it has begun to run.
    const harness::GameFolder holder = harness::fresh_game_folder(L"console-holder");
    SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", L"60000");
    std::wstring holder_line = L"hl2";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const bool held =
        CreateProcessW((holder.dir + L"\\hl2.exe").c_str(), holder_line.data(), nullptr, nullptr, FALSE,
                       CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process) != 0;
    SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", nullptr);
    FreeConsole();
    bool attached = false;
    for (int tries = 0; held && !attached && tries < 250; ++tries) {
        attached = AttachConsole(process.dwProcessId) != 0;
        if (!attached) {
            Sleep(20);
        }
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE screen =
        attached && SetConsoleOutputCP(850)
            ? CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inherit, CONSOLE_TEXTMODE_BUFFER, nullptr)
            : INVALID_HANDLE_VALUE;
    CONSOLE_SCREEN_BUFFER_INFO buffer{};
    const bool ready = screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(screen, &buffer);
    const auto done = [&] {
        if (screen != INVALID_HANDLE_VALUE) {
            CloseHandle(screen);
        }
        FreeConsole();
        if (held) {
            TerminateProcess(process.hProcess, 0);
            WaitForSingleObject(process.hProcess, INFINITE);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        // Back to the console that this test was started in, if any, for what it prints afterwards.
        AttachConsole(ATTACH_PARENT_PROCESS);
    };
    if (!ready) {
        check(false, "a console of this test's own with code page 850 and a screen buffer: holder " +
                         std::string(held ? "started" : "not started") + ", " +
                         (attached ? "attached" : "not attached") + ", error " +
                         std::to_string(GetLastError()));
        return done();
    }
    // Control: the windowless stand-in game, started with the console as its standard error, finds it
    // there. Wine 10 gives such a program none of the console handles that it is started with: it runs,
    // and finds nothing in that slot.
    const harness::GameFolder control =
        harness::fresh_game_folder(L"console-control", harness::GameSetup{true, nullptr, true});
    harness::RunOptions options;
    options.std_error = screen;
    const auto given = harness::start(control, control.dir + L"\\hl2.exe", L"hl2", options);
    if (!given.received.std_handles.ends_with(" error=present")) {
        const std::string seen =
            "the stand-in game saw \"" + given.received.std_handles + "\" [" + harness::seen(given) + "]";
        if (harness::under_wine() && given.received.std_handles.ends_with(" error=null")) {
            harness::skip(
                "the report on a console: Wine gives a windowless program no console handle in its "
                "standard slots (" +
                seen + ")");
        } else {
            check(false,
                  "control: a windowless program finds the console as its standard error, but " + seen);
        }
        return done();
    }

    const harness::GameFolder folder =
        harness::fresh_game_folder(L"console", harness::GameSetup{false, nullptr});
    const auto run = harness::run(folder.launcher(),
                                  harness::quoted(folder.launcher()) + L" a\u00e9\u0436\xD800", options);
    // The cells, row by row, without the blanks that fill each row: the report's lines, each shorter
    // than a row.
    std::wstring shown;
    for (SHORT row = 0; row < 10 && row < buffer.dwSize.Y; ++row) {
        std::wstring text(static_cast<std::size_t>(buffer.dwSize.X), L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, text.data(), static_cast<DWORD>(text.size()), COORD{0, row},
                                    &read);
        text.resize(read);
        text.erase(text.find_last_not_of(L' ') + 1);
        shown += text + L"\n";
    }
    while (shown.ends_with(L"\n\n")) {
        shown.pop_back();
    }
    check(run.exit_code == 101, "on a console: exit 101", run);
    check(harness::is_report(harness::utf8(shown),
                             "a command-line argument is not valid Unicode: \"a\u00e9\u0436\\u{d800}\"\n"),
          "on a console: the report reads back whole, its letters as they were: \"" + harness::show(shown) +
              "\"");
    done();
}

}  // namespace

int wmain() {
    const std::wstring launcher = harness::build_dir() + L"\\ostrand.exe";

    {
        // An argument holding the unpaired surrogate D800: the report names it, and nothing else runs.
        const auto run = harness::run(launcher, harness::quoted(launcher) +
                                                    L" -novid a\xD800"
                                                    L"b");
        check(run.exit_code == 101, "non-Unicode argument: exit 101", run);
        check(harness::is_report(run.std_error,
                                 "a command-line argument is not valid Unicode: \"a\\u{d800}b\"\n"),
              "non-Unicode argument: report", run);
    }
    {
        // The program name is tested like every other element.
        const auto run = harness::run(launcher, harness::quoted(launcher + L"\xDC00"));
        check(run.exit_code == 101, "non-Unicode program name: exit 101", run);
        // The report quotes the path with its backslashes doubled and its letters as they are, in UTF-8:
        // the program may lie in a folder whose name is not ASCII.
        std::string quoted;
        for (const char byte : harness::utf8(launcher)) {
            quoted += byte == '\\' ? std::string("\\\\") : std::string(1, byte);
        }
        check(harness::is_report(run.std_error, "a command-line argument is not valid Unicode: \"" + quoted +
                                                    "\\u{dc00}\"\n"),
              "non-Unicode program name: report", run);
    }
    {
        // Without any standard handle the report has nowhere to go; the status stays.
        harness::RunOptions options;
        options.std_handles = false;
        const auto run = harness::run(launcher, L"x a\xD800", options);
        check(run.exit_code == 101, "no standard handles: exit 101", run);
        check(run.std_error.empty() && run.std_output.empty(), "no standard handles: nothing written", run);
    }
    {
        // A request that cannot be met ends through fail-fast, after the one line. (Wine spends minutes
        // on requests of some tens of TiB before it refuses them; this size is refused at once.)
        const auto run = harness::run(harness::build_dir() + L"\\allocation_failure.exe",
                                      L"allocation_failure 0x7FFFFFFFFFFFFFFF");
        check(run.exit_code == 0xC0000409, "failed allocation: fail-fast status", run);
        check(run.std_error == "memory allocation of 9223372036854775807 bytes failed\n",
              "failed allocation: report", run);
    }
    report_on_a_console();
    return harness::finish();
}
