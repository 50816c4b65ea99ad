// Windows only: the kernel32 implementation of every system interface. Each member translates its
// arguments and calls the system once; no logic lives here.
#include <cstring>
#include <type_traits>

#include "platform.hpp"
#include "report/report_api.hpp"
#include "win/kernel32/windows.hpp"

namespace ostrand {

// The portable layers name Windows' types and constants without <windows.h>; here each is held
// against the definition it copies.
static_assert(std::is_same_v<Handle, HANDLE> && sizeof(Module) == sizeof(HMODULE));
static_assert(std_input_handle == STD_INPUT_HANDLE && std_output_handle == STD_OUTPUT_HANDLE &&
              std_error_handle == STD_ERROR_HANDLE);
static_assert(error_invalid_handle == ERROR_INVALID_HANDLE &&
              error_insufficient_buffer == ERROR_INSUFFICIENT_BUFFER &&
              error_mod_not_found == ERROR_MOD_NOT_FOUND && error_proc_not_found == ERROR_PROC_NOT_FOUND);
static_assert(fast_fail_fatal_app_exit == FAST_FAIL_FATAL_APP_EXIT && utf8_code_page == CP_UTF8 &&
              format_message_from_system == FORMAT_MESSAGE_FROM_SYSTEM &&
              format_message_ignore_inserts == FORMAT_MESSAGE_IGNORE_INSERTS &&
              format_message_from_hmodule == FORMAT_MESSAGE_FROM_HMODULE &&
              facility_nt_bit == FACILITY_NT_BIT);
static_assert(cstr_less_than == CSTR_LESS_THAN && cstr_equal == CSTR_EQUAL &&
              cstr_greater_than == CSTR_GREATER_THAN);
static_assert(startf_usestdhandles == STARTF_USESTDHANDLES && startf_usehotkey == STARTF_USEHOTKEY &&
              create_unicode_environment == CREATE_UNICODE_ENVIRONMENT &&
              duplicate_same_access == DUPLICATE_SAME_ACCESS && infinite_timeout == INFINITE &&
              wait_object_0 == WAIT_OBJECT_0 && invalid_file_attributes == INVALID_FILE_ATTRIBUTES &&
              error_filename_exced_range == ERROR_FILENAME_EXCED_RANGE && max_path == MAX_PATH);
static_assert(sem_failcriticalerrors == SEM_FAILCRITICALERRORS &&
              load_library_search_application_dir == LOAD_LIBRARY_SEARCH_APPLICATION_DIR &&
              load_library_search_system32 == LOAD_LIBRARY_SEARCH_SYSTEM32);

namespace {

class Kernel32 final : public ReportApi, public SelfApi, public EnvApi, public ProcessApi, public LoaderApi {
public:
    // Shared by several interfaces.
    std::uint32_t get_last_error() override { return GetLastError(); }
    void set_last_error(std::uint32_t code) override { SetLastError(code); }
    Handle get_std_handle(std::uint32_t which) override { return GetStdHandle(which); }

    // Reports.
    bool get_console_mode(Handle console) override {
        DWORD mode = 0;
        return GetConsoleMode(console, &mode) != 0;
    }
    std::uint32_t get_console_output_cp() override { return GetConsoleOutputCP(); }
    bool multi_byte_to_wide_char(std::string_view utf8, char16_t* out, std::uint32_t capacity,
                                 std::uint32_t& units) override {
        const int n =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                wide(out), static_cast<int>(capacity));
        units = n > 0 ? static_cast<std::uint32_t>(n) : 0;
        return n > 0;
    }
    bool write_console_w(Handle console, std::u16string_view units, std::uint32_t& written) override {
        DWORD count = 0;
        const BOOL ok =
            WriteConsoleW(console, units.data(), static_cast<DWORD>(units.size()), &count, nullptr);
        written = count;
        return ok != 0;
    }
    bool write_file(Handle file, std::string_view bytes, std::uint32_t& written) override {
        const DWORD length = bytes.size() > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(bytes.size());
        DWORD count = 0;
        const BOOL ok = WriteFile(file, bytes.data(), length, &count, nullptr);
        written = count;
        return ok != 0;
    }
    std::uint32_t format_message_w(std::uint32_t flags, Module source, std::uint32_t id, char16_t* buffer,
                                   std::uint32_t size) override {
        return FormatMessageW(flags, source, id, 0, wide(buffer), size, nullptr);
    }
    Module get_module_handle_w(const char16_t* name) override { return GetModuleHandleW(wide(name)); }
    std::uint32_t get_current_thread_id() override { return GetCurrentThreadId(); }
    [[noreturn]] void fastfail(std::uint32_t code) override { ostrand::fastfail(code); }

    // The launcher's own inputs.
    const char16_t* get_command_line_w() override {
        return reinterpret_cast<const char16_t*>(GetCommandLineW());
    }
    std::uint32_t get_module_file_name_w(Module module, char16_t* buffer, std::uint32_t size) override {
        return GetModuleFileNameW(static_cast<HMODULE>(module), wide(buffer), size);
    }

    // Environment.
    char16_t* get_environment_strings_w() override {
        return reinterpret_cast<char16_t*>(GetEnvironmentStringsW());
    }
    bool free_environment_strings_w(char16_t* block) override {
        return FreeEnvironmentStringsW(wide(block)) != 0;
    }
    int compare_string_ordinal(const char16_t* a, int a_count, const char16_t* b, int b_count,
                               bool ignore_case) override {
        return CompareStringOrdinal(wide(a), a_count, wide(b), b_count, ignore_case ? TRUE : FALSE);
    }

    // Child processes.
    StartupInfo get_startup_info_w() override {
        STARTUPINFOW info;
        std::memset(&info, 0, sizeof info);
        info.cb = sizeof info;
        GetStartupInfoW(&info);
        return StartupInfo{info.dwFlags, info.hStdInput, info.hStdOutput, info.hStdError};
    }
    std::uint32_t get_full_path_name_w(const char16_t* path, std::uint32_t size, char16_t* buffer) override {
        return GetFullPathNameW(wide(path), size, wide(buffer), nullptr);
    }
    std::uint32_t get_file_attributes_w(const char16_t* path) override {
        return GetFileAttributesW(wide(path));
    }
    std::uint32_t get_system_directory_w(char16_t* buffer, std::uint32_t size) override {
        return GetSystemDirectoryW(wide(buffer), size);
    }
    std::uint32_t get_windows_directory_w(char16_t* buffer, std::uint32_t size) override {
        return GetWindowsDirectoryW(wide(buffer), size);
    }
    std::uint32_t get_environment_variable_w(const char16_t* name, char16_t* buffer,
                                             std::uint32_t size) override {
        return GetEnvironmentVariableW(wide(name), wide(buffer), size);
    }
    Handle get_current_process() override { return GetCurrentProcess(); }
    bool duplicate_handle(Handle source_process, Handle source, Handle target_process, Handle* target,
                          std::uint32_t access, bool inherit, std::uint32_t options) override {
        return DuplicateHandle(source_process, source, target_process, target, access, inherit ? TRUE : FALSE,
                               options) != 0;
    }
    bool close_handle(Handle handle) override { return CloseHandle(handle) != 0; }
    bool create_process_w(const char16_t* application_name, char16_t* command_line, bool inherit_handles,
                          std::uint32_t creation_flags, void* environment, const char16_t* current_directory,
                          const StartupInfo& startup, ProcessInformation& information) override {
        STARTUPINFOW info;
        std::memset(&info, 0, sizeof info);
        info.cb = sizeof info;
        info.dwFlags = startup.flags;
        info.hStdInput = startup.std_input;
        info.hStdOutput = startup.std_output;
        info.hStdError = startup.std_error;
        PROCESS_INFORMATION process{};
        const BOOL ok = CreateProcessW(wide(application_name), wide(command_line), nullptr, nullptr,
                                       inherit_handles ? TRUE : FALSE, creation_flags, environment,
                                       wide(current_directory), &info, &process);
        information.process = process.hProcess;
        information.thread = process.hThread;
        information.process_id = process.dwProcessId;
        information.thread_id = process.dwThreadId;
        return ok != 0;
    }
    std::uint32_t wait_for_single_object(Handle handle, std::uint32_t milliseconds) override {
        return WaitForSingleObject(handle, milliseconds);
    }
    bool get_exit_code_process(Handle process, std::uint32_t& exit_code) override {
        DWORD code = 0;
        const BOOL ok = GetExitCodeProcess(process, &code);
        exit_code = code;
        return ok != 0;
    }

    // The Vulkan loader library.
    bool set_thread_error_mode(std::uint32_t mode, std::uint32_t* previous) override {
        DWORD old = 0;
        const BOOL ok = SetThreadErrorMode(mode, previous != nullptr ? &old : nullptr);
        if (previous != nullptr) {
            *previous = old;
        }
        return ok != 0;
    }
    Module load_library_ex_w(const char16_t* name, Handle file, std::uint32_t flags) override {
        return LoadLibraryExW(wide(name), file, flags);
    }
    ProcAddress get_proc_address(Module module, const char* name) override {
        return reinterpret_cast<ProcAddress>(GetProcAddress(static_cast<HMODULE>(module), name));
    }
    bool free_library(Module module) override { return FreeLibrary(static_cast<HMODULE>(module)) != 0; }
};

Kernel32& kernel32() {
    // Stateless: every member forwards to the system.
    static Kernel32 system;
    return system;
}

}  // namespace

Platform system_platform() {
    Kernel32& k = kernel32();
    return Platform{k, k, k, k};
}

ReportApi& process_report_api() {
    return kernel32();
}

}  // namespace ostrand
