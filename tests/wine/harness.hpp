// Windows-side test support: starting programs with exact command lines and standard handles,
// reading what they wrote, and counting checks. Each test program prints one line per failed check
// and one per part that this system cannot arrange, then a closing "N passed, N failed" line (with
// ", N skipped" after it when a part was skipped), and exits non-zero when a check failed. The same
// programs run under Wine and on Windows, and hold the launcher to the rules of the system they run on.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "../support/unit_text.hpp"
#include "win/kernel32/windows.hpp"

namespace harness {

using ostrand::test_support::hex;
using ostrand::test_support::show;

// The form in which the stand-in game records what it received, for the tests' own expectations.
inline std::string escaped(std::wstring_view text) {
    return show(text, true);
}

// UTF-16 as UTF-8, the form in which the launcher writes text.
inline std::string utf8(std::wstring_view text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                                            static_cast<int>(text.size()), out.data(),
                                                            static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

inline int passed = 0;
inline int failed = 0;
inline int skipped = 0;

inline void check(bool ok, const std::string& what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED: %s\n", what.c_str());
        std::fflush(stdout);
    }
}

// A part of a test that cannot be arranged on this system, and why: said, and counted apart.
inline void skip(const std::string& what) {
    ++skipped;
    std::printf("SKIPPED: %s\n", what.c_str());
    std::fflush(stdout);
}

// Whether this runs under Wine rather than Windows: Wine's ntdll exports wine_get_version, Windows'
// does not.
inline bool under_wine() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// A line that the test prints before its closing one, such as what it saw of the system it ran on.
inline std::string closing_note;

inline int finish() {
    if (!closing_note.empty()) {
        std::printf("%s\n", closing_note.c_str());
    }
    std::printf("%d passed, %d failed", passed, failed);
    if (skipped > 0) {
        std::printf(", %d skipped", skipped);
    }
    std::printf("\n");
    return failed == 0 ? 0 : 1;
}

// The folder of this program: every program of the build, or of the test bundle, lies beside every
// other.
inline std::wstring build_dir() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L"\\/"));
}

// A fresh, empty directory of this test's own under the system's temporary directory.
inline std::wstring fresh_dir(const std::wstring& name) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring dir =
        std::wstring(temp) + L"ostrand-" + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

inline bool copy(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

inline std::string read_file(const std::wstring& path) {
    std::string out;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return out;
    }
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(file, buf, sizeof buf, &n, nullptr) && n > 0) {
        out.append(buf, n);
    }
    CloseHandle(file);
    return out;
}

// Writes `bytes` as the whole of the file at `path`.
inline void write_file(const std::wstring& path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The lines of `text`, without their line ends (a line feed, or a carriage return and a line feed).
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (line.ends_with('\r')) {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// A program's path in quotes, as a command line names it.
inline std::wstring quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// The launcher that the end-to-end tests start: the build's ostrand.exe, or the copy of it that
// OSTRAND_LAUNCHER names (a file beside this program), such as one moved to another base.
inline std::wstring launcher_image() {
    wchar_t name[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"OSTRAND_LAUNCHER", name, MAX_PATH);
    return build_dir() + L"\\" + (n > 0 && n < MAX_PATH ? std::wstring(name, n) : L"ostrand.exe");
}

// Reserves every free region of `process` below 4 GiB, in whole allocation-granularity units, so that
// whatever it allocates afterwards must come from above, as Windows' high-entropy ASLR puts a 64-bit
// process's heap and stacks. Returns the bytes reserved (some regions may refuse).
inline std::uint64_t reserve_low_memory(HANDLE process) {
    constexpr std::uint64_t four_gib = std::uint64_t{1} << 32;
    constexpr std::uint64_t granularity = 0x10000;
    std::uint64_t reserved = 0;
    std::uint64_t address = granularity;
    MEMORY_BASIC_INFORMATION region{};
    while (address < four_gib && VirtualQueryEx(process, reinterpret_cast<void*>(address), &region,
                                                sizeof region) == sizeof region) {
        const auto start = reinterpret_cast<std::uint64_t>(region.BaseAddress);
        const std::uint64_t end = std::min(start + region.RegionSize, four_gib);
        const std::uint64_t first = (start + granularity - 1) & ~(granularity - 1);
        const std::uint64_t last = end & ~(granularity - 1);
        if (region.State == MEM_FREE && first < last &&
            VirtualAllocEx(process, reinterpret_cast<void*>(first), last - first, MEM_RESERVE,
                           PAGE_NOACCESS) != nullptr) {
            reserved += last - first;
        }
        address = end;
    }
    return reserved;
}

struct RunOptions {
    // The standard handles to pass; without them the child starts with none at all.
    bool std_handles = true;
    const wchar_t* current_directory = nullptr;
    // A CREATE_UNICODE_ENVIRONMENT block, or null to inherit.
    const wchar_t* environment = nullptr;
    // A file to give as standard input; without it there is none.
    const wchar_t* input_file = nullptr;
    // An inheritable handle of the caller's (a console's screen buffer) to give as standard error in
    // place of the file that is read back.
    HANDLE std_error = nullptr;
    DWORD timeout_ms = 60000;
    // Started suspended, with every free region below 4 GiB reserved before it runs
    // (reserve_low_memory); OSTRAND_RESERVE_LOW_MEMORY, set to a value that is not empty, asks it of every
    // start.
    bool high_memory_only = GetEnvironmentVariableW(L"OSTRAND_RESERVE_LOW_MEMORY", nullptr, 0) > 1;
    // STARTUPINFO's flags, such as the shell's STARTF_USEHOTKEY.
    DWORD startup_flags = STARTF_USESTDHANDLES;
};

struct RunResult {
    DWORD exit_code = 0xFFFFFFFF;
    std::string std_error;   // what the child wrote to standard error
    std::string std_output;  // and to standard output
    bool started = false;
    std::uint64_t low_memory_reserved = 0;  // with high_memory_only
};

// Starts `application` with exactly `command_line` and waits for it. Standard output and error go
// to files, since Wine delays reads through pipes.
inline RunResult run(const std::wstring& application, std::wstring command_line,
                     const RunOptions& options = {}) {
    RunResult result;
    static int counter = 0;
    const std::wstring dir = fresh_dir(L"run");
    const std::wstring err_path = dir + L"\\stderr" + std::to_wstring(++counter);
    const std::wstring out_path = dir + L"\\stdout" + std::to_wstring(counter);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE err = CreateFileW(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE out = CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE in = options.input_file == nullptr ? nullptr
                                              : CreateFileW(options.input_file, GENERIC_READ, FILE_SHARE_READ,
                                                            &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = options.startup_flags;
    if (options.std_handles) {
        startup.hStdInput = in == INVALID_HANDLE_VALUE ? nullptr : in;
        startup.hStdOutput = out;
        startup.hStdError = options.std_error != nullptr ? options.std_error : err;
    }
    PROCESS_INFORMATION process{};
    const DWORD flags = (options.environment != nullptr ? CREATE_UNICODE_ENVIRONMENT : 0) |
                        (options.high_memory_only ? CREATE_SUSPENDED : 0);
    // On Windows a crash or a fail-fast goes to Windows Error Reporting, whose dialog would wait for a
    // click; without it the process just ends with its status. The mode is inherited, so it holds for
    // whatever the started program starts in turn.
    SetErrorMode(GetErrorMode() | SEM_NOGPFAULTERRORBOX);
    if (CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE, flags,
                       const_cast<wchar_t*>(options.environment), options.current_directory, &startup,
                       &process)) {
        result.started = true;
        if (options.high_memory_only) {
            result.low_memory_reserved = reserve_low_memory(process.hProcess);
            ResumeThread(process.hThread);
        }
        if (WaitForSingleObject(process.hProcess, options.timeout_ms) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        GetExitCodeProcess(process.hProcess, &result.exit_code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (in != nullptr && in != INVALID_HANDLE_VALUE) {
        CloseHandle(in);
    }
    CloseHandle(err);
    CloseHandle(out);
    result.std_error = read_file(err_path);
    result.std_output = read_file(out_path);
    DeleteFileW(err_path.c_str());
    DeleteFileW(out_path.c_str());
    RemoveDirectoryW(dir.c_str());
    return result;
}

// What a start did, for a failed check: its exit status and what it wrote to standard error.
inline std::string seen(const RunResult& run) {
    if (!run.started) {
        return "not started";
    }
    return "exit " + hex(run.exit_code) + ", standard error \"" + show(run.std_error) + "\"";
}

// A check of a start (a RunResult, or a Start of game_folder.hpp): when it fails, the line also says
// what the start did.
template <typename Started>
void check(bool ok, const std::string& what, const Started& started) {
    check(ok, ok ? what : what + " [" + seen(started) + "]");
}

// The entries of `got` against those of `want`, in order: empty when they are equal, else what is
// missing, what is extra, and the first place where the order differs.
inline std::string difference(const std::vector<std::string>& got, const std::vector<std::string>& want) {
    if (got == want) {
        return {};
    }
    const auto absent = [](const std::vector<std::string>& from, const std::vector<std::string>& in) {
        std::string list;
        for (const auto& entry : from) {
            if (std::count(in.begin(), in.end(), entry) < std::count(from.begin(), from.end(), entry) &&
                list.find("\"" + entry + "\"") == std::string::npos) {
                list += " \"" + entry + "\"";
            }
        }
        return list;
    };
    std::string text;
    if (const std::string missing = absent(want, got); !missing.empty()) {
        text += "missing:" + missing + "; ";
    }
    if (const std::string extra = absent(got, want); !extra.empty()) {
        text += "extra:" + extra + "; ";
    }
    if (text.empty()) {
        const auto at = std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
        text = "the same entries in another order, first at " + std::to_string(at) + ": \"" + got[at] +
               "\" where \"" + want[at] + "\" belongs; ";
    }
    text.resize(text.size() - 2);
    return text;
}

// True when `report` is a line feed, a header line "thread 'main' (<id>) failed at <file>:<l>:<c>:"
// and then exactly `message_line`. Which source file holds the check is the launcher's own affair; it
// must only be named relative to the project root, not by a path of the build machine.
inline bool is_report(std::string_view report, std::string_view message_line) {
    const std::size_t end = report.find('\n', 1);
    if (end == std::string_view::npos || report.substr(end + 1) != message_line) {
        return false;
    }
    std::string_view header = report.substr(0, end);
    const auto take = [&header](std::string_view text) {
        const bool found = header.starts_with(text);
        header.remove_prefix(found ? text.size() : 0);
        return found;
    };
    // Removes ":<digits>" from the end.
    const auto drop_number = [&header] {
        const std::size_t colon = header.find_last_of(':');
        if (colon == std::string_view::npos || colon + 1 == header.size() ||
            header.find_first_not_of("0123456789", colon + 1) != std::string_view::npos) {
            return false;
        }
        header.remove_suffix(header.size() - colon);
        return true;
    };
    if (!take("\nthread 'main' (")) {
        return false;
    }
    const std::size_t digits = header.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string_view::npos) {
        return false;
    }
    header.remove_prefix(digits);
    if (!take(") failed at ") || !header.ends_with(':')) {
        return false;
    }
    header.remove_suffix(1);
    if (!drop_number() || !drop_number()) {
        return false;
    }
    return !header.empty() && !header.starts_with('/') && !(header.size() >= 2 && header[1] == ':');
}

// The strings of this process's environment block, in block order.
inline std::vector<std::wstring> environment_strings() {
    std::vector<std::wstring> strings;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* s = block; *s != 0; s += wcslen(s) + 1) {
        strings.emplace_back(s);
    }
    FreeEnvironmentStringsW(block);
    return strings;
}

// Whether the name of environment entry `a` comes before that of `b` as Windows compares names (a
// leading "=" belongs to the name).
inline bool name_less(const std::wstring& a, const std::wstring& b) {
    const std::wstring name_a = a.substr(0, a.find(L'=', 1)), name_b = b.substr(0, b.find(L'=', 1));
    return CompareStringOrdinal(name_a.c_str(), static_cast<int>(name_a.size()), name_b.c_str(),
                                static_cast<int>(name_b.size()), TRUE) == CSTR_LESS_THAN;
}

}  // namespace harness
