// The least a launcher can do: start hl2.exe beside itself with CreateProcessW and wait for it.
// The benchmark holds ostrand.exe against this floor.
#include "win/kernel32/windows.hpp"

int wmain() {
    wchar_t path[32768];
    DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    while (n > 0 && path[n - 1] != L'\\') {
        --n;
    }
    lstrcpyW(path + n, L"hl2.exe");
    wchar_t command_line[] = L"hl2.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return 101;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
}
