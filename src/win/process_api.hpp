// Portable: the system operations behind starting the game and waiting for it.
#pragma once

#include <cstdint>

#include "base/shared_api.hpp"

namespace ostrand {

// The members of STARTUPINFOW that a start may set; the kernel32 layer zeroes every other member
// and sets cb.
struct StartupInfo {
    std::uint32_t flags = 0;
    Handle std_input = nullptr;
    Handle std_output = nullptr;
    Handle std_error = nullptr;
    friend bool operator==(const StartupInfo&, const StartupInfo&) = default;
};

struct ProcessInformation {
    Handle process = nullptr;
    Handle thread = nullptr;
    std::uint32_t process_id = 0;
    std::uint32_t thread_id = 0;
};

struct ProcessApi : virtual LastErrorApi, virtual StdHandleApi {
    // GetStartupInfoW: how the launcher itself was started.
    virtual StartupInfo get_startup_info_w() = 0;
    virtual std::uint32_t get_full_path_name_w(const char16_t* path, std::uint32_t size,
                                               char16_t* buffer) = 0;
    virtual std::uint32_t get_file_attributes_w(const char16_t* path) = 0;
    virtual std::uint32_t get_system_directory_w(char16_t* buffer, std::uint32_t size) = 0;
    virtual std::uint32_t get_windows_directory_w(char16_t* buffer, std::uint32_t size) = 0;
    virtual std::uint32_t get_environment_variable_w(const char16_t* name, char16_t* buffer,
                                                     std::uint32_t size) = 0;
    virtual Handle get_current_process() = 0;
    virtual bool duplicate_handle(Handle source_process, Handle source, Handle target_process, Handle* target,
                                  std::uint32_t access, bool inherit, std::uint32_t options) = 0;
    virtual bool close_handle(Handle handle) = 0;
    // CreateProcessW with NULL process and thread security attributes.
    virtual bool create_process_w(const char16_t* application_name, char16_t* command_line,
                                  bool inherit_handles, std::uint32_t creation_flags, void* environment,
                                  const char16_t* current_directory, const StartupInfo& startup,
                                  ProcessInformation& information) = 0;
    virtual std::uint32_t wait_for_single_object(Handle handle, std::uint32_t milliseconds) = 0;
    virtual bool get_exit_code_process(Handle process, std::uint32_t& exit_code) = 0;
};

}  // namespace ostrand
