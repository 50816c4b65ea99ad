// A ReportApi that records what reaches standard error, with switches for every writer path.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "../support/generalised_utf8.hpp"
#include "fake_base.hpp"
#include "report/report_api.hpp"
#include "win/strings/native_string.hpp"

namespace ostrand::testing {

// Thrown by the fake fail-fast, so that a test can see that the process would have ended there.
struct FastfailCalled {
    std::uint32_t code;
};

struct FakeReportApi : FakeLastError, FakeStdHandles, ReportApi {
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

    std::string written;             // every byte taken by write_file
    std::u16string console_written;  // every unit taken by write_console_w
    std::vector<std::size_t> write_sizes;
    std::vector<std::uint32_t> format_calls_flags;

    Handle& std_error() { return std_handles[2]; }

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
        if (write_fails) {
            last_error = 6;
            return false;
        }
        const std::size_t n = std::min(units.size(), write_limit);
        console_written.append(units.substr(0, n));
        write_sizes.push_back(n);
        count = static_cast<std::uint32_t>(n);
        return true;
    }
    bool write_file(Handle, std::string_view bytes, std::uint32_t& count) override {
        if (write_fails) {
            last_error = 232;
            return false;
        }
        const std::size_t n = std::min(bytes.size(), write_limit);
        written.append(bytes.substr(0, n));
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
};

}  // namespace ostrand::testing
