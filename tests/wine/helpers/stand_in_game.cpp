// A stand-in for the game: records what it received in "received.txt" beside itself, as UTF-8 with
// every unit that is not printable ASCII escaped, then ends as asked.
//   command_line=<the raw command line>
//   current_directory=<its current directory>
//   std_handles=<STARTF_USESTDHANDLES set or not> input=<present|null> output=.. error=..
//   env=<one line per string of its environment block, in block order>
//   parent_image=<hex> parent_heap=<hex> parent_stacks=<hex>[,<hex>...]
//     where the process that started it (the launcher) has its image, its process heap, and the
//     top of each thread's stack, read from that process while it waits for this one
// STAND_IN_EXIT_CODE sets its exit status; STAND_IN_CRASH=1 makes it crash; STAND_IN_SLEEP_MS
// makes it wait first.
#include <cstdint>
#include <string>

#include "../harness.hpp"
// After the Windows header (through harness.hpp), whose types they use without including it.
#include <tlhelp32.h>
#include <winternl.h>

namespace {

using harness::escaped;
using harness::hex;

const char* presence(HANDLE handle) {
    return handle == nullptr || handle == INVALID_HANDLE_VALUE ? "null" : "present";
}

DWORD env_number(const wchar_t* name, DWORD fallback) {
    wchar_t value[32];
    const DWORD n = GetEnvironmentVariableW(name, value, 32);
    return n > 0 && n < 32 ? static_cast<DWORD>(wcstoul(value, nullptr, 0)) : fallback;
}

std::uint64_t read_u64(HANDLE process, std::uintptr_t address) {
    std::uint64_t value = 0;
    ReadProcessMemory(process, reinterpret_cast<const void*>(address), &value, sizeof value, nullptr);
    return value;
}

// ThreadBasicInformation's answer, which winternl.h does not declare.
struct ThreadBasics {
    NTSTATUS exit_status;
    std::uintptr_t teb;
    CLIENT_ID client;
    KAFFINITY affinity;
    LONG priority;
    LONG base_priority;
};

// The PEB's ImageBaseAddress (+0x10) and ProcessHeap (+0x30), and each thread's StackBase (TEB +0x8),
// in the order in which the system lists the threads. Zeros where the parent is not readable.
std::string parent_memory() {
    PROCESS_BASIC_INFORMATION own{};
    NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &own, sizeof own, nullptr);
    const DWORD parent_id = static_cast<DWORD>(own.InheritedFromUniqueProcessId);
    HANDLE parent = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parent_id);
    PROCESS_BASIC_INFORMATION basics{};
    if (parent != nullptr) {
        NtQueryInformationProcess(parent, ProcessBasicInformation, &basics, sizeof basics, nullptr);
    }
    const auto peb = reinterpret_cast<std::uintptr_t>(basics.PebBaseAddress);
    std::string line = "parent_image=" + hex(peb != 0 ? read_u64(parent, peb + 0x10) : 0) +
                       " parent_heap=" + hex(peb != 0 ? read_u64(parent, peb + 0x30) : 0) + " parent_stacks=";
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const char* separator = "";
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != parent_id) {
            continue;
        }
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        ThreadBasics thread_basics{};
        if (thread != nullptr) {
            NtQueryInformationThread(thread, ThreadBasicInformation, &thread_basics, sizeof thread_basics,
                                     nullptr);
            CloseHandle(thread);
        }
        line += separator + hex(thread_basics.teb != 0 ? read_u64(parent, thread_basics.teb + 0x8) : 0);
        separator = ",";
    }
    CloseHandle(snapshot);
    if (parent != nullptr) {
        CloseHandle(parent);
    }
    return line + "\n";
}

}  // namespace

int wmain() {
    std::string record = "command_line=" + escaped(GetCommandLineW()) + "\n";

    wchar_t directory[32768];
    const DWORD dir_length = GetCurrentDirectoryW(32768, directory);
    record += "current_directory=" + escaped(std::wstring_view(directory, dir_length)) + "\n";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    record += std::string("std_handles=") + ((startup.dwFlags & STARTF_USESTDHANDLES) ? "set" : "unset") +
              " input=" + presence(GetStdHandle(STD_INPUT_HANDLE)) +
              " output=" + presence(GetStdHandle(STD_OUTPUT_HANDLE)) +
              " error=" + presence(GetStdHandle(STD_ERROR_HANDLE)) + "\n";

    for (const std::wstring& entry : harness::environment_strings()) {
        record += "env=" + escaped(entry) + "\n";
    }
    record += parent_memory();
    harness::write_file(harness::build_dir() + L"\\received.txt", record);

    Sleep(env_number(L"STAND_IN_SLEEP_MS", 0));
    if (env_number(L"STAND_IN_CRASH", 0) != 0) {
        *static_cast<volatile int*>(nullptr) = 1;
    }
    return static_cast<int>(env_number(L"STAND_IN_EXIT_CODE", 0));
}
