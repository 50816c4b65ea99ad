// The kernel32 side of the launcher's own inputs, its environment and a child start, faked as one
// system: every call is logged in order with its parameters, and each log line is marked " [locked]"
// when process_start_lock was held at the time.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake_base.hpp"
#include "win/child.hpp"
#include "win/env_api.hpp"
#include "win/environment.hpp"
#include "win/path.hpp"
#include "win/process_api.hpp"
#include "win/self_api.hpp"

namespace ostrand::testing {

inline std::string hex(Handle handle) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
    return text;
}

inline bool spawn_lock_held() {
    return process_start_lock().held();
}

inline constexpr std::uint32_t error_file_not_found = 2;
inline constexpr std::uint32_t error_access_denied = 5;
inline constexpr std::uint32_t error_envvar_not_found = 203;
// What CloseHandle leaves in the last error here, so that an error read after a clean-up shows.
inline constexpr std::uint32_t last_error_after_close = 0xC105ED;

class FakeSystem final : public FakeLastError,
                         public FakeStdHandles,
                         public ProcessApi,
                         public SelfApi,
                         public EnvApi {
public:
    // --- What the system holds.
    std::optional<std::u16string> command_line = u"ostrand.exe";  // none: GetCommandLineW gives NULL
    std::u16string executable = u"C:\\Games\\Demo\\ostrand.exe";
    std::optional<std::uint32_t> executable_error;
    std::optional<std::u16string> system_directory = u"C:\\Windows\\system32";
    std::optional<std::u16string> windows_directory = u"C:\\Windows";
    std::optional<std::u16string> own_path;  // unset when empty
    std::u16string current_directory = u"C:\\cwd";
    // GetFullPathNameW answers for given paths; any other absolute path is its own answer and a
    // relative one is read against current_directory.
    std::map<std::u16string, std::u16string> full_paths;
    std::map<std::u16string, std::uint32_t> full_path_errors;
    std::set<std::u16string> files;
    std::vector<std::u16string> environment = {u"Path=C:\\w", u"windir=C:\\w"};
    std::optional<std::uint32_t> environment_error;
    std::optional<int> compare_result;  // answered by CompareStringOrdinal instead of comparing
    // DuplicateHandle of the standard handle with this value fails with this error.
    std::optional<std::pair<Handle, std::uint32_t>> duplicate_failure;
    std::optional<std::uint32_t> create_error;
    std::uint32_t wait_result = wait_object_0;
    std::uint32_t wait_error = 0;
    std::uint32_t exit_code = 0;
    std::optional<std::uint32_t> exit_code_error;

    // --- What was asked of it.
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
    std::vector<std::string> events;
    std::vector<std::uint32_t> buffer_sizes;  // the room given to each call that fills a buffer
    std::vector<std::pair<std::u16string, std::u16string>> compared;
    std::size_t compared_when_freed = 0;  // how many comparisons came before the environment was freed
    std::optional<CreateCall> create;
    std::set<Handle> open_handles;
    Handle current_process = invalid_handle_value();

    ~FakeSystem() override { delete[] handed_out_; }

    void log(std::string event) {
        if (spawn_lock_held()) {
            event += " [locked]";
        }
        events.push_back(std::move(event));
    }

    // SelfApi.
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

    // EnvApi. The block handed out lives on the heap and is deleted when it is freed, so that a read
    // after the free is caught.
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

    // ProcessApi.
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
    Handle get_std_handle(std::uint32_t which) override {
        log("GetStdHandle " + std::to_string(static_cast<std::int32_t>(which)));
        return FakeStdHandles::get_std_handle(which);
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
    bool create_process_w(const char16_t* application_name, char16_t* command_line, bool inherit_handles,
                          std::uint32_t creation_flags, void* environment_block, const char16_t* cwd,
                          const StartupInfo& startup, ProcessInformation& information) override {
        log("CreateProcessW");
        CreateCall call{
            application_name, command_line, inherit_handles, creation_flags, environment_block != nullptr, {},
            cwd == nullptr,   startup};
        if (environment_block != nullptr) {
            const auto* units = static_cast<const char16_t*>(environment_block);
            std::size_t n = 0;
            while (units[n] != 0 || units[n + 1] != 0) {
                ++n;
            }
            call.environment.assign(units, n + 2);
        }
        create = std::move(call);
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

    static inline const Handle process_handle = handle_value(0x200);
    static inline const Handle thread_handle = handle_value(0x204);

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
