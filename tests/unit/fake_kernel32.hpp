// The kernel32 side of every system interface, faked as one system, as src/win/kernel32/kernel32.cpp
// implements them in one class: one last error, one set of standard handles, and one log in which
// every call stands in order with its parameters, marked " [locked]" when process_start_lock was held
// at the time. Each test sets up what the system holds and reads back what was asked of it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "../support/generalised_utf8.hpp"
#include "../support/unit_text.hpp"
#include "host/portable_env_name_comparer.hpp"
#include "loader_api.hpp"
#include "report/fatal.hpp"
#include "report/report_api.hpp"
#include "report/system_error.hpp"
#include "win/child.hpp"
#include "win/env_api.hpp"
#include "win/environment.hpp"
#include "win/path.hpp"
#include "win/process_api.hpp"
#include "win/program_path.hpp"
#include "win/self_api.hpp"

namespace ostrand {

inline void PrintTo(const SystemError& error, std::ostream* out) {
    if (error.is_os_code()) {
        *out << "os_code(" << error.code() << ")";
    } else {
        *out << kind_name(error.kind()) << " \"" << error.message() << "\"";
    }
}

}  // namespace ostrand

namespace ostrand::testing {

using test_support::hex;
using test_support::show;

inline Handle handle_value(std::uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}

inline bool spawn_lock_held() {
    return process_start_lock().held();
}

// The fatal failure that `run` raises; a test failure when it raises none.
template <typename Run>
FatalFailure raised_failure(Run&& run) {
    try {
        run();
    } catch (const FatalFailure& failure) {
        return failure;
    }
    ADD_FAILURE() << "no fatal failure was raised";
    return {};
}

// The errors that the path and start rules give of their own.
inline SystemError invalid(std::string_view message) {
    return SystemError::kind_and_message(SystemErrorKind::InvalidInput, message);
}
inline const SystemError program_not_found =
    SystemError::kind_and_message(SystemErrorKind::NotFound, program_not_found_message);

// "C:\" followed by "a" units and "\hl2.exe", `units` long in all.
inline std::u16string drive_path_of_length(std::size_t units) {
    return u"C:\\" + std::u16string(units - 11, u'a') + u"\\hl2.exe";
}

// Thrown by the fake fail-fast, so that a test can see that the process would have ended there.
struct FastfailCalled {
    std::uint32_t code;
};

inline constexpr std::uint32_t error_file_not_found = 2;
inline constexpr std::uint32_t error_access_denied = 5;
inline constexpr std::uint32_t error_envvar_not_found = 203;
// What CloseHandle leaves in the last error here, so that an error read after a clean-up shows.
inline constexpr std::uint32_t last_error_after_close = 0xC105ED;

inline const Module fake_module = reinterpret_cast<Module>(std::uintptr_t{0x5a000});

class FakeKernel32 : public ReportApi, public SelfApi, public EnvApi, public ProcessApi, public LoaderApi {
public:
    FakeKernel32() = default;
    FakeKernel32(const FakeKernel32&) = delete;
    FakeKernel32& operator=(const FakeKernel32&) = delete;
    ~FakeKernel32() override { delete[] handed_out_; }

    // --- What the system holds.
    std::uint32_t last_error = 0;
    // The launcher's standard input, output and error, asked for with -10, -11 and -12.
    std::array<Handle, 3> std_handles = {handle_value(0x10), handle_value(0x11), handle_value(0x12)};
    Handle& std_error() { return std_handles[2]; }

    // Reports.
    bool is_console = false;
    std::uint32_t console_code_page = 437;
    // Largest number of bytes (or units, for a console) that one write takes; 0 takes nothing.
    std::size_t write_limit = static_cast<std::size_t>(-1);
    bool write_fails = false;
    std::uint32_t thread_id = 4242;
    Module ntdll = reinterpret_cast<Module>(std::intptr_t{0x7700});
    // Messages FormatMessageW knows, by (from ntdll, id).
    std::map<std::pair<bool, std::uint32_t>, std::u16string> messages;
    std::uint32_t format_message_error = 317;  // ERROR_MR_MID_NOT_FOUND

    // The launcher's own inputs.
    std::optional<std::u16string> command_line = u"ostrand.exe";  // none: GetCommandLineW gives NULL
    std::u16string executable = u"C:\\Games\\Demo\\ostrand.exe";
    std::optional<std::uint32_t> executable_error;

    // Environment.
    std::vector<std::u16string> environment = {u"Path=C:\\w", u"windir=C:\\w"};
    std::optional<std::uint32_t> environment_error;
    std::optional<int> compare_result;  // answered by CompareStringOrdinal instead of comparing

    // Child processes.
    std::optional<std::u16string> system_directory = u"C:\\Windows\\system32";
    std::optional<std::u16string> windows_directory = u"C:\\Windows";
    std::optional<std::u16string> own_path;  // unset when empty
    std::u16string current_directory = u"C:\\cwd";
    // GetFullPathNameW answers for given paths; any other absolute path is its own answer and a
    // relative one is read against current_directory.
    std::map<std::u16string, std::u16string> full_paths;
    std::map<std::u16string, std::uint32_t> full_path_errors;
    std::set<std::u16string> files;
    // What GetStartupInfoW says of how the launcher was started.
    StartupInfo own_startup;
    // DuplicateHandle of the standard handle with this value fails with this error.
    std::optional<std::pair<Handle, std::uint32_t>> duplicate_failure;
    std::optional<std::uint32_t> create_error;
    std::uint32_t wait_result = wait_object_0;
    std::uint32_t wait_error = 0;
    std::uint32_t exit_code = 0;
    std::optional<std::uint32_t> exit_code_error;
    Handle current_process = invalid_handle_value();
    static inline const Handle process_handle = handle_value(0x200);
    static inline const Handle thread_handle = handle_value(0x204);

    // The Vulkan loader library.
    std::uint32_t thread_mode = 0;
    bool set_mode_fails = false;
    bool load_fails = false;
    std::uint32_t load_error = error_mod_not_found;
    ProcAddress entry_point = nullptr;  // what GetProcAddress answers

    // --- What was asked of it.
    std::vector<std::string> events;
    // Whether reads of the last error are logged too: for the loader's tests, which hold them against
    // the calls that may change it.
    bool log_last_error_reads = false;

    // Reports.
    std::string written;             // every byte taken by write_file
    std::u16string console_written;  // every unit taken by write_console_w
    std::vector<std::size_t> write_sizes;
    std::vector<std::uint32_t> format_calls_flags;

    // Environment and child processes.
    struct CreateCall {
        std::u16string application_name;
        std::u16string command_line;
        bool inherit_handles;
        std::uint32_t creation_flags;
        bool has_environment;
        std::u16string environment;  // up to and with the closing double 0
        bool current_directory_null;
        StartupInfo startup;
    };
    std::vector<std::uint32_t> buffer_sizes;  // the room given to each call that fills a buffer
    std::vector<std::pair<std::u16string, std::u16string>> compared;
    std::size_t compared_when_freed = 0;  // how many comparisons came before the environment was freed
    std::optional<CreateCall> create;
    std::set<Handle> open_handles;

    // The Vulkan loader library.
    std::optional<std::uint32_t> mode_during_load;
    std::u16string loaded_name;
    Handle load_file = invalid_handle_value();
    std::uint32_t load_flags = 0;
    std::vector<Module> freed;

    void log(std::string event) {
        if (spawn_lock_held()) {
            event += " [locked]";
        }
        events.push_back(std::move(event));
    }
    std::size_t count_of(std::string_view event) const {
        return static_cast<std::size_t>(std::count(events.begin(), events.end(), event));
    }
    bool called(std::string_view prefix) const {
        return std::any_of(events.begin(), events.end(),
                           [&](const std::string& e) { return e.starts_with(prefix); });
    }
    // What every logged call of `function` was given, in order.
    std::vector<std::string> arguments_of(std::string_view function) const {
        std::vector<std::string> arguments;
        for (const std::string& event : events) {
            if (event.starts_with(function) && event.size() > function.size() &&
                event[function.size()] == ' ') {
                arguments.push_back(event.substr(function.size() + 1));
            }
        }
        return arguments;
    }

    // --- Shared by several interfaces.
    void set_last_error(std::uint32_t code) override { last_error = code; }
    std::uint32_t get_last_error() override {
        if (log_last_error_reads) {
            log("GetLastError");
        }
        return last_error;
    }
    Handle get_std_handle(std::uint32_t which) override {
        log("GetStdHandle " + std::to_string(static_cast<std::int32_t>(which)));
        const std::uint32_t index = std_input_handle - which;
        EXPECT_LT(index, 3u);
        return index < 3 ? std_handles[index] : nullptr;
    }

    // --- Reports.
    bool get_console_mode(Handle) override { return is_console; }
    std::uint32_t get_console_output_cp() override { return console_code_page; }
    bool multi_byte_to_wide_char(std::string_view utf8, char16_t* buffer, std::uint32_t capacity,
                                 std::uint32_t& units) override {
        // Only well-formed UTF-8 converts; generalised surrogates and stray bytes do not.
        if (!test_support::scan_generalised_utf8(utf8).valid_utf8()) {
            last_error = 1113;  // ERROR_NO_UNICODE_TRANSLATION
            return false;
        }
        const std::u16string out = native_to_utf16(NativeString::from_bytes(std::string(utf8), false));
        if (out.size() > capacity) {
            return false;
        }
        std::copy(out.begin(), out.end(), buffer);
        units = static_cast<std::uint32_t>(out.size());
        return true;
    }
    bool write_console_w(Handle, std::u16string_view units, std::uint32_t& count) override {
        return take_write(units, console_written, count, 6);
    }
    bool write_file(Handle, std::string_view bytes, std::uint32_t& count) override {
        return take_write(bytes, written, count, 232);
    }
    // A write takes at most write_limit units, or fails with `error` when write_fails is set.
    template <typename Unit>
    bool take_write(std::basic_string_view<Unit> units, std::basic_string<Unit>& sink, std::uint32_t& count,
                    std::uint32_t error) {
        if (write_fails) {
            last_error = error;
            return false;
        }
        const std::size_t n = std::min(units.size(), write_limit);
        sink.append(units.substr(0, n));
        write_sizes.push_back(n);
        count = static_cast<std::uint32_t>(n);
        return true;
    }
    std::uint32_t format_message_w(std::uint32_t flags, Module source, std::uint32_t id, char16_t* buffer,
                                   std::uint32_t size) override {
        format_calls_flags.push_back(flags);
        auto it = messages.find({source == ntdll && source != nullptr, id});
        if (it == messages.end() || it->second.size() > size) {
            last_error = format_message_error;
            return 0;
        }
        std::copy(it->second.begin(), it->second.end(), buffer);
        return static_cast<std::uint32_t>(it->second.size());
    }
    Module get_module_handle_w(const char16_t* name) override {
        return std::u16string_view(name) == u"NTDLL.DLL" ? ntdll : nullptr;
    }
    std::uint32_t get_current_thread_id() override { return thread_id; }
    [[noreturn]] void fastfail(std::uint32_t code) override { throw FastfailCalled{code}; }

    // --- The launcher's own inputs.
    const char16_t* get_command_line_w() override {
        log("GetCommandLineW");
        return command_line ? command_line->c_str() : nullptr;
    }
    std::uint32_t get_module_file_name_w(Module module, char16_t* buffer, std::uint32_t size) override {
        log("GetModuleFileNameW");
        EXPECT_EQ(module, nullptr);
        if (executable_error) {
            last_error = *executable_error;
            return 0;
        }
        return fill(executable, buffer, size, true);
    }

    // --- Environment. The block handed out lives on the heap and is deleted when it is freed, so
    // that a read after the free is caught.
    char16_t* get_environment_strings_w() override {
        log("GetEnvironmentStringsW");
        if (environment_error) {
            last_error = *environment_error;
            return nullptr;
        }
        std::u16string block;
        for (const std::u16string& string : environment) {
            block += string;
            block.push_back(u'\0');
        }
        block.push_back(u'\0');
        handed_out_ = new char16_t[block.size()];
        std::copy(block.begin(), block.end(), handed_out_);
        return handed_out_;
    }
    bool free_environment_strings_w(char16_t* block) override {
        log("FreeEnvironmentStringsW");
        EXPECT_EQ(block, handed_out_);
        delete[] handed_out_;
        handed_out_ = nullptr;
        compared_when_freed = compared.size();
        return true;
    }
    int compare_string_ordinal(const char16_t* a, int a_count, const char16_t* b, int b_count,
                               bool ignore_case) override {
        EXPECT_TRUE(ignore_case);
        compared.emplace_back(std::u16string(a, static_cast<std::size_t>(a_count)),
                              std::u16string(b, static_cast<std::size_t>(b_count)));
        if (compare_result) {
            return *compare_result;
        }
        const std::weak_ordering order =
            PortableEnvNameComparer().compare(compared.back().first, compared.back().second);
        return order < 0 ? cstr_less_than : order == 0 ? cstr_equal : cstr_greater_than;
    }

    // --- Child processes.
    std::uint32_t get_full_path_name_w(const char16_t* path, std::uint32_t size, char16_t* buffer) override {
        const std::u16string input(path);
        log("GetFullPathNameW " + show(input));
        if (const auto error = full_path_errors.find(input); error != full_path_errors.end()) {
            last_error = error->second;
            return 0;
        }
        return fill(full_path_of(input), buffer, size, false);
    }
    std::uint32_t get_file_attributes_w(const char16_t* path) override {
        log("GetFileAttributesW " + show(path));
        if (files.contains(path)) {
            return 0x20;  // FILE_ATTRIBUTE_ARCHIVE
        }
        last_error = error_file_not_found;
        return invalid_file_attributes;
    }
    std::uint32_t get_system_directory_w(char16_t* buffer, std::uint32_t size) override {
        log("GetSystemDirectoryW");
        return directory(system_directory, buffer, size);
    }
    std::uint32_t get_windows_directory_w(char16_t* buffer, std::uint32_t size) override {
        log("GetWindowsDirectoryW");
        return directory(windows_directory, buffer, size);
    }
    std::uint32_t get_environment_variable_w(const char16_t* name, char16_t* buffer,
                                             std::uint32_t size) override {
        log("GetEnvironmentVariableW " + show(name));
        if (std::u16string_view(name) != u"PATH" || !own_path) {
            last_error = error_envvar_not_found;
            return 0;
        }
        return fill(*own_path, buffer, size, false);
    }
    StartupInfo get_startup_info_w() override {
        log("GetStartupInfoW");
        return own_startup;
    }
    Handle get_current_process() override { return current_process; }
    bool duplicate_handle(Handle source_process, Handle source, Handle target_process, Handle* target,
                          std::uint32_t access, bool inherit, std::uint32_t options) override {
        EXPECT_EQ(source_process, current_process);
        EXPECT_EQ(target_process, current_process);
        EXPECT_EQ(access, 0u);
        EXPECT_TRUE(inherit);
        EXPECT_EQ(options, duplicate_same_access);
        if (duplicate_failure && duplicate_failure->first == source) {
            log("DuplicateHandle " + hex(source) + " failed");
            last_error = duplicate_failure->second;
            return false;
        }
        *target = handle_value(0x100 + reinterpret_cast<std::uintptr_t>(source));
        open_handles.insert(*target);
        log("DuplicateHandle " + hex(source) + " -> " + hex(*target));
        return true;
    }
    bool close_handle(Handle handle) override {
        log("CloseHandle " + hex(handle));
        EXPECT_TRUE(open_handles.contains(handle)) << "closing " << hex(handle) << ", which is not open";
        open_handles.erase(handle);
        last_error = last_error_after_close;
        return true;
    }
    bool create_process_w(const char16_t* application_name, char16_t* command_line_buffer,
                          bool inherit_handles, std::uint32_t creation_flags, void* environment_block,
                          const char16_t* cwd, const StartupInfo& startup,
                          ProcessInformation& information) override {
        log("CreateProcessW");
        create = CreateCall(application_name, command_line_buffer, inherit_handles, creation_flags,
                            environment_block != nullptr, std::u16string(), cwd == nullptr, startup);
        if (environment_block != nullptr) {
            const auto* units = static_cast<const char16_t*>(environment_block);
            std::size_t n = 0;
            while (units[n] != 0 || units[n + 1] != 0) {
                ++n;
            }
            create->environment.assign(units, n + 2);
        }
        if (create_error) {
            last_error = *create_error;
            return false;
        }
        information.process = process_handle;
        information.thread = thread_handle;
        information.process_id = 4000;
        information.thread_id = 4004;
        open_handles.insert(process_handle);
        open_handles.insert(thread_handle);
        return true;
    }
    std::uint32_t wait_for_single_object(Handle handle, std::uint32_t milliseconds) override {
        log("WaitForSingleObject " + hex(handle) + " " + std::to_string(milliseconds));
        if (wait_result != wait_object_0) {
            last_error = wait_error;
        }
        return wait_result;
    }
    bool get_exit_code_process(Handle process, std::uint32_t& code) override {
        log("GetExitCodeProcess " + hex(process));
        if (exit_code_error) {
            last_error = *exit_code_error;
            return false;
        }
        code = exit_code;
        return true;
    }

    // --- The Vulkan loader library.
    bool set_thread_error_mode(std::uint32_t mode, std::uint32_t* previous) override {
        log("SetThreadErrorMode(" + std::to_string(mode) + (previous ? ", &previous)" : ", NULL)"));
        if (set_mode_fails) {
            last_error = 87;
            return false;
        }
        if (previous != nullptr) {
            *previous = thread_mode;
        }
        thread_mode = mode;
        // Any successful system call may leave its own last error behind.
        last_error = 0;
        return true;
    }
    Module load_library_ex_w(const char16_t* name, Handle file, std::uint32_t flags) override {
        log("LoadLibraryExW");
        loaded_name = name;
        load_file = file;
        load_flags = flags;
        mode_during_load = thread_mode;
        if (load_fails) {
            last_error = load_error;
            return nullptr;
        }
        return fake_module;
    }
    ProcAddress get_proc_address(Module module, const char* name) override {
        log("GetProcAddress(" + std::string(name) + ")");
        EXPECT_EQ(module, fake_module);
        if (entry_point == nullptr) {
            last_error = error_proc_not_found;
        }
        return entry_point;
    }
    bool free_library(Module module) override {
        log("FreeLibrary");
        freed.push_back(module);
        return true;
    }

private:
    // The calls that fill a buffer: the text and its terminator when they fit, otherwise the room
    // needed with the terminator (or, for GetModuleFileNameW, a cut text and ERROR_INSUFFICIENT_BUFFER).
    // The buffer rule clears the last error before each of them.
    std::uint32_t fill(const std::u16string& text, char16_t* buffer, std::uint32_t size, bool module_rule) {
        buffer_sizes.push_back(size);
        EXPECT_EQ(last_error, 0u) << "the last error was not cleared before the call";
        if (text.size() < size) {
            std::copy(text.begin(), text.end(), buffer);
            buffer[text.size()] = 0;
            return static_cast<std::uint32_t>(text.size());
        }
        if (module_rule) {
            std::copy_n(text.begin(), size - 1, buffer);
            buffer[size - 1] = 0;
            last_error = error_insufficient_buffer;
            return size;
        }
        return static_cast<std::uint32_t>(text.size() + 1);
    }

    std::uint32_t directory(const std::optional<std::u16string>& path, char16_t* buffer, std::uint32_t size) {
        if (!path) {
            last_error = error_access_denied;
            return 0;
        }
        return fill(*path, buffer, size, false);
    }

    std::u16string full_path_of(const std::u16string& path) const {
        if (const auto known = full_paths.find(path); known != full_paths.end()) {
            return known->second;
        }
        const bool absolute = (path.size() >= 3 && path[1] == u':' && is_separator(path[2])) ||
                              (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]));
        return absolute ? path : current_directory + u"\\" + path;
    }

    char16_t* handed_out_ = nullptr;
};

}  // namespace ostrand::testing
