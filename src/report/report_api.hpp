// Portable: the system operations behind fatal reports, the standard-error writer and
// abort_process. The kernel32 implementation lives in src/win/kernel32/kernel32.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/shared_api.hpp"

namespace ostrand {

struct ReportApi : virtual LastErrorApi, virtual StdHandleApi {
    virtual bool get_console_mode(Handle console) = 0;
    virtual std::uint32_t get_console_output_cp() = 0;
    // MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, ...) into the caller's buffer of `capacity`
    // units; false when the bytes are not UTF-8 or do not fit.
    virtual bool multi_byte_to_wide_char(std::string_view utf8, char16_t* out, std::uint32_t capacity,
                                         std::uint32_t& units) = 0;
    virtual bool write_console_w(Handle console, std::u16string_view units, std::uint32_t& written) = 0;
    // One synchronous WriteFile.
    virtual bool write_file(Handle file, std::string_view bytes, std::uint32_t& written) = 0;
    virtual std::uint32_t format_message_w(std::uint32_t flags, Module source, std::uint32_t id,
                                           char16_t* buffer, std::uint32_t size) = 0;
    virtual Module get_module_handle_w(const char16_t* name) = 0;
    virtual std::uint32_t get_current_thread_id() = 0;
    // __fastfail: ends the process at once.
    [[noreturn]] virtual void fastfail(std::uint32_t code) = 0;
};

// The real platform's operations: kernel32 on Windows; on other hosts a minimal stand-in that writes
// to file descriptor 2 and aborts. It carries no state. The one way to the report writer, for the
// process entry and for the ends that cannot travel up (the global allocation operators, the stubs of
// missing Vulkan commands, the loader binding's own allocations).
ReportApi& process_report_api();

}  // namespace ostrand
