// ostrand.exe as the system sees it: the version block through the version API, the icon group
// through the resource and icon APIs, and the stack-cookie handling and the start routine through
// helpers built the same way.
#include <cstdlib>

#include "harness.hpp"

using harness::check;
using harness::hex;

namespace {

const std::wstring launcher = harness::build_dir() + L"\\ostrand.exe";

void version_block() {
    const DWORD size = GetFileVersionInfoSizeW(launcher.c_str(), nullptr);
    check(size > 0, "version block present");
    if (size == 0) {
        return;
    }
    std::vector<unsigned char> block(size);
    check(GetFileVersionInfoW(launcher.c_str(), 0, size, block.data()) != 0, "version block read");

    const struct {
        const wchar_t* query;
        const wchar_t* expected;
    } texts[] = {
        {L"\\StringFileInfo\\000004b0\\ProductName", L"ostrand"},
        {L"\\StringFileInfo\\000004b0\\FileDescription", L"ostrand"},
        {L"\\StringFileInfo\\000004b0\\FileVersion", L"1.0.0"},
        {L"\\StringFileInfo\\000004b0\\ProductVersion", L"1.0.0"},
    };
    for (const auto& text : texts) {
        void* value = nullptr;
        UINT length = 0;
        const bool found = VerQueryValueW(block.data(), text.query, &value, &length) != 0;
        const std::wstring got = found ? std::wstring(static_cast<const wchar_t*>(value)) : L"(none)";
        check(got == text.expected, harness::show(text.query) + ": \"" + harness::show(got) + "\", want \"" +
                                        harness::show(text.expected) + "\"");
    }
    // The field values of the fixed part, and that 000004b0 is the only string table, are checked from the
    // file's bytes by tests/image/image_test.py (test_version_block); here, that the version API finds the
    // part.
    UINT length = 0;
    VS_FIXEDFILEINFO* fixed = nullptr;
    const bool fixed_found =
        VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) != 0 &&
        fixed != nullptr;
    check(fixed_found && fixed->dwSignature == 0xFEEF04BD,
          "fixed part found, signature " + (fixed_found ? hex(fixed->dwSignature) : std::string("(none)")));

    WORD* translation = nullptr;
    const bool found = VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                                      reinterpret_cast<void**>(&translation), &length) != 0;
    const bool pair = found && length == 4;
    check(pair && translation[0] == 0x0000 && translation[1] == 0x04B0,
          "translation: language 0x0000, code page 0x04B0, got " +
              (pair ? hex(translation[0]) + ", " + hex(translation[1]) : std::string("(none)")));
}

void icons() {
    HMODULE image =
        LoadLibraryExW(launcher.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    check(image != nullptr, "launcher opened as a resource image");
    if (image == nullptr) {
        return;
    }
    HRSRC group_resource = FindResourceExW(image, RT_GROUP_ICON, MAKEINTRESOURCEW(1),
                                           MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    check(group_resource != nullptr, "icon group 1 in language 1033");
    if (group_resource != nullptr) {
        auto* group = static_cast<BYTE*>(LockResource(LoadResource(image, group_resource)));
        // The icon the shell would take for each size, on a true-colour display.
        const struct {
            int size;
            int id;
        } picks[] = {{16, 2}, {20, 3}, {24, 4}, {32, 5}, {48, 6}, {256, 1}};
        for (const auto& pick : picks) {
            const int id = LookupIconIdFromDirectoryEx(group, TRUE, pick.size, pick.size, LR_DEFAULTCOLOR);
            check(id == pick.id, "best icon for " + std::to_string(pick.size) + " px: id " +
                                     std::to_string(id) + ", want " + std::to_string(pick.id));
        }
    }
    // Every image decodes to an icon of its size, PNG and bitmap alike.
    const int sizes[] = {256, 16, 20, 24, 32, 48, 16, 20, 24, 256, 32, 48, 16, 20, 24, 256, 32, 48};
    for (int id = 1; id <= 18; ++id) {
        const std::string name = "icon " + std::to_string(id);
        HRSRC resource = FindResourceExW(image, RT_ICON, MAKEINTRESOURCEW(id),
                                         MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        check(resource != nullptr, name + " in language 1033");
        if (resource == nullptr) {
            continue;
        }
        auto* bits = static_cast<BYTE*>(LockResource(LoadResource(image, resource)));
        const int size = sizes[id - 1];
        HICON icon = CreateIconFromResourceEx(bits, SizeofResource(image, resource), TRUE, 0x00030000, size,
                                              size, LR_DEFAULTCOLOR);
        check(icon != nullptr, name + " decodes");
        if (icon == nullptr) {
            continue;
        }
        ICONINFO info{};
        BITMAP colour{};
        if (GetIconInfo(icon, &info)) {
            GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof colour, &colour);
            check(colour.bmWidth == size,
                  name + " is " + std::to_string(colour.bmWidth) + " px wide, want " + std::to_string(size));
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
        } else {
            check(false, name + ": icon information");
        }
        DestroyIcon(icon);
    }
    FreeLibrary(image);
}

void stack_cookie() {
    const std::wstring helper = harness::build_dir() + L"\\stack_smash.exe";
    // The loader seeds the cookie before main: never the unseeded value, top 16 bits clear, and not one
    // value for every process. Wine seeds from the tick count in milliseconds XOR the process id, so
    // two processes started one after the other now and then get the same cookie. Three alike is far
    // rarer, and is what a cookie that does not depend on the process would give every time.
    std::vector<unsigned long long> cookies;
    for (int run = 0; run < 3; ++run) {
        const auto result = harness::run(helper, L"stack_smash cookie");
        check(result.exit_code == 0, "cookie run exits 0", result);
        cookies.push_back(std::strtoull(result.std_output.c_str(), nullptr, 16));
    }
    for (unsigned long long cookie : cookies) {
        check(cookie != 0x00002B992DDFA232 && cookie != 0, "cookie seeded: " + hex(cookie));
        check((cookie >> 48) == 0, "cookie's top 16 bits clear: " + hex(cookie));
    }
    check(cookies[0] != cookies[1] || cookies[1] != cookies[2],
          "the processes do not all get one cookie: " + hex(cookies[0]) + ", " + hex(cookies[1]) + ", " +
              hex(cookies[2]));

    // A failed check ends the process through fail-fast: no report, no message box, no return.
    const auto smashed = harness::run(helper, L"stack_smash overrun 64");
    check(smashed.exit_code == 0xC0000409, "overrun: fail-fast status, got " + hex(smashed.exit_code));
    check(smashed.std_output.empty() && smashed.std_error.empty(),
          "overrun: nothing written, got \"" + harness::show(smashed.std_output + smashed.std_error) + "\"");
    // The same helper without an overrun returns normally.
    const auto intact = harness::run(helper, L"stack_smash overrun 16");
    check(intact.exit_code == 0 && intact.std_output.starts_with("returned"),
          "16 bytes fit: returns normally, got " + hex(intact.exit_code) + " \"" +
              harness::show(intact.std_output) + "\"");
}

// The launcher's start routine, in a helper built on it: the static constructors (collected from the
// image by libgcc's __main, which the start routine calls and, on this target, so does main's own
// prologue) have run when main's body starts, the heap works, and main's result, all 32 bits of it, is
// the exit status. An exception that nobody catches, from a static constructor or from main, ends the
// process through fail-fast, silently. Left to the system's unhandled-exception path instead, it ends
// with 0x20474343 (libgcc's code for a C++ throw) under Wine 8, and under Wine 10 with 0xC0000409 too,
// but after the crash debugger's dump on the program's own output: hence the check of the output.
void start_routine() {
    const std::wstring helper = harness::build_dir() + L"\\start_routine.exe";
    const struct {
        const wchar_t* command_line;
        DWORD status;
    } rows[] = {
        {L"start_routine 0", 0},
        {L"start_routine 2a", 0x2A},
        {L"start_routine c0de0101", 0xC0DE0101},
        {L"start_routine throw-from-constructor", 0xC0000409},
        {L"start_routine throw-from-main", 0xC0000409},
    };
    for (const auto& row : rows) {
        const auto result = harness::run(helper, row.command_line);
        const std::string output = result.std_output + result.std_error;
        check(result.exit_code == row.status && output.empty(),
              harness::show(row.command_line) + ": exit status " + hex(result.exit_code) + ", want " +
                  hex(row.status) + "; output \"" + harness::show(output) + "\"");
    }
}

// The launcher's own cookie, read from the process at the loader's initial breakpoint: after the loader
// has relocated and prepared the image, before any of its code has run.
void launcher_cookie() {
    std::wstring line = harness::quoted(launcher);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(launcher.c_str(), line.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &startup, &process)) {
        check(false, "launcher started under the debug API");
        return;
    }
    auto* base = static_cast<unsigned char*>(nullptr);
    bool seen = false;
    unsigned long long cookie = 0;
    for (;;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 30000)) {
            break;
        }
        DWORD status = DBG_CONTINUE;
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            base = static_cast<unsigned char*>(event.u.CreateProcessInfo.lpBaseOfImage);
            CloseHandle(event.u.CreateProcessInfo.hFile);
        } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
            CloseHandle(event.u.LoadDll.hFile);
        } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
            if (event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT && !seen &&
                base != nullptr) {
                seen = true;
                auto read = [&](const void* at, void* into, SIZE_T size) {
                    SIZE_T got = 0;
                    return ReadProcessMemory(process.hProcess, at, into, size, &got) && got == size;
                };
                IMAGE_DOS_HEADER dos{};
                IMAGE_NT_HEADERS64 nt{};
                IMAGE_LOAD_CONFIG_DIRECTORY64 config{};
                if (read(base, &dos, sizeof dos) && read(base + dos.e_lfanew, &nt, sizeof nt)) {
                    const auto& directory =
                        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
                    if (directory.Size >= sizeof config &&
                        read(base + directory.VirtualAddress, &config, sizeof config)) {
                        read(reinterpret_cast<const void*>(config.SecurityCookie), &cookie, sizeof cookie);
                    }
                }
                TerminateProcess(process.hProcess, 0);
            } else if (!event.u.Exception.dwFirstChance ||
                       event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                status = DBG_EXCEPTION_NOT_HANDLED;
            }
        }
        const bool exited = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (exited) {
            break;
        }
    }
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    check(seen, "launcher reached the loader's initial breakpoint");
    check(cookie != 0 && cookie != 0x00002B992DDFA232 && (cookie >> 48) == 0,
          "launcher's cookie seeded by the loader: " + hex(cookie));
}

}  // namespace

int wmain() {
    version_block();
    icons();
    stack_cookie();
    start_routine();
    launcher_cookie();
    return harness::finish();
}
