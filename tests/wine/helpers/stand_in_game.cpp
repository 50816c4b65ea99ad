// A stand-in for the game: records what it received in "received.txt" beside itself, as UTF-8 with
// every unit that is not printable ASCII escaped, then ends as asked.
//   command_line=<the raw command line>
//   current_directory=<its current directory>
//   std_handles=<STARTF_USESTDHANDLES set or not> input=<present|null> output=.. error=..
//   env=<one line per string of its environment block, in block order>
// STAND_IN_EXIT_CODE sets its exit status; STAND_IN_CRASH=1 makes it crash; STAND_IN_SLEEP_MS
// makes it wait first.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../../support/unit_text.hpp"
#include "win/kernel32/windows.hpp"

namespace {

std::string escape(std::wstring_view text) {
    return ostrand::test_support::show(text, true);
}

const char* presence(HANDLE handle) {
    return handle == nullptr || handle == INVALID_HANDLE_VALUE ? "null" : "present";
}

DWORD env_number(const wchar_t* name, DWORD fallback) {
    wchar_t value[32];
    const DWORD n = GetEnvironmentVariableW(name, value, 32);
    return n > 0 && n < 32 ? static_cast<DWORD>(wcstoul(value, nullptr, 0)) : fallback;
}

}  // namespace

int wmain() {
    std::string record = "command_line=" + escape(GetCommandLineW()) + "\n";

    wchar_t directory[32768];
    const DWORD dir_length = GetCurrentDirectoryW(32768, directory);
    record += "current_directory=" + escape(std::wstring_view(directory, dir_length)) + "\n";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    record += std::string("std_handles=") + ((startup.dwFlags & STARTF_USESTDHANDLES) ? "set" : "unset") +
              " input=" + presence(GetStdHandle(STD_INPUT_HANDLE)) +
              " output=" + presence(GetStdHandle(STD_OUTPUT_HANDLE)) +
              " error=" + presence(GetStdHandle(STD_ERROR_HANDLE)) + "\n";

    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* s = block; *s != 0; s += wcslen(s) + 1) {
        record += "env=" + escape(s) + "\n";
    }
    FreeEnvironmentStringsW(block);

    wchar_t path[32768];
    const DWORD path_length = GetModuleFileNameW(nullptr, path, 32768);
    std::wstring out_path(path, path_length);
    out_path = out_path.substr(0, out_path.find_last_of(L'\\') + 1) + L"received.txt";
    HANDLE file =
        CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);

    Sleep(env_number(L"STAND_IN_SLEEP_MS", 0));
    if (env_number(L"STAND_IN_CRASH", 0) != 0) {
        *static_cast<volatile int*>(nullptr) = 1;
    }
    return static_cast<int>(env_number(L"STAND_IN_EXIT_CODE", 0));
}
