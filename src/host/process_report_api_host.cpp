// Host stand-in for the platform's report operations, for builds that do not target Windows: the
// standard error handle is file descriptor 2, and the fail-fast is abort().
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "report/report_api.hpp"

namespace ostrand {
namespace {

struct HostReportApi final : ReportApi {
    Handle get_std_handle(std::uint32_t which) override {
        return which == std_error_handle ? reinterpret_cast<Handle>(std::intptr_t{2}) : nullptr;
    }
    bool get_console_mode(Handle) override { return false; }
    std::uint32_t get_console_output_cp() override { return utf8_code_page; }
    bool multi_byte_to_wide_char(std::string_view, char16_t*, std::uint32_t, std::uint32_t&) override {
        return false;
    }
    bool write_console_w(Handle, std::u16string_view, std::uint32_t&) override { return false; }
    bool write_file(Handle file, std::string_view bytes, std::uint32_t& written) override {
        const ssize_t n =
            ::write(static_cast<int>(reinterpret_cast<std::intptr_t>(file)), bytes.data(), bytes.size());
        written = n > 0 ? static_cast<std::uint32_t>(n) : 0;
        return n >= 0;
    }
    std::uint32_t format_message_w(std::uint32_t, Module, std::uint32_t, char16_t*, std::uint32_t) override {
        return 0;
    }
    Module get_module_handle_w(const char16_t*) override { return nullptr; }
    void set_last_error(std::uint32_t) override {}
    std::uint32_t get_last_error() override { return 0; }
    std::uint32_t get_current_thread_id() override { return static_cast<std::uint32_t>(::gettid()); }
    [[noreturn]] void fastfail(std::uint32_t) override { std::abort(); }
};

}  // namespace

ReportApi& process_report_api() {
    // Stateless: nothing in it changes after construction.
    static HostReportApi api;
    return api;
}

}  // namespace ostrand
