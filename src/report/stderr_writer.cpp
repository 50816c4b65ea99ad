// Portable: the standard-error writer. A console whose output code page is not UTF-8 gets UTF-16
// through WriteConsoleW, so that the text shows correctly whatever the code page; everything else
// gets the bytes unchanged.
#include "report/stderr_writer.hpp"

#include <cstdint>

#include "win/strings/native_string.hpp"

namespace ostrand {
namespace {

constexpr std::string_view non_utf8_console_message =
    "Windows stdio in console mode does not support writing non-UTF-8 byte sequences";

// Cuts `bytes` back so that it does not end inside a UTF-8 sequence.
std::size_t whole_characters(std::string_view bytes) {
    std::size_t end = bytes.size();
    std::size_t back = 0;
    while (back < end && back < 4 && (static_cast<std::uint8_t>(bytes[end - 1 - back]) & 0xC0) == 0x80) {
        ++back;
    }
    if (back == end || back == 4) {
        return end;  // Not UTF-8 at all; the conversion will say so.
    }
    const auto lead = static_cast<std::uint8_t>(bytes[end - 1 - back]);
    // 0xF8 and above begin no sequence; the conversion will refuse them.
    const std::size_t length = lead >= 0xF8 ? 1 : utf8_sequence_length(lead);
    // A character cut at the very start cannot be completed by cutting; the conversion refuses it.
    return length > back + 1 && end - 1 - back > 0 ? end - 1 - back : end;
}

// How many bytes of `bytes` encode the first `units` UTF-16 units.
std::size_t bytes_for_units(std::string_view bytes, std::size_t units) {
    std::size_t i = 0;
    while (units > 0 && i < bytes.size()) {
        const std::size_t length = utf8_sequence_length(static_cast<std::uint8_t>(bytes[i]));
        // A four-byte sequence is a surrogate pair in UTF-16.
        const std::size_t taken = length == 4 ? 2 : 1;
        if (taken > units) {
            break;
        }
        units -= taken;
        i += length;
    }
    return i < bytes.size() ? i : bytes.size();
}

}  // namespace

SystemResult<std::size_t> write_stderr(ReportApi& api, std::string_view bytes) {
    if (bytes.empty()) {
        return std::size_t{0};
    }
    const Handle handle = api.get_std_handle(std_error_handle);
    if (handle == nullptr) {
        return os_failure(error_invalid_handle);
    }
    if (handle == invalid_handle_value()) {
        return os_failure(api.get_last_error());
    }
    if (api.get_console_mode(handle) && api.get_console_output_cp() != utf8_code_page) {
        std::string_view chunk = bytes.substr(0, console_chunk_bytes);
        chunk = chunk.substr(0, whole_characters(chunk));
        // On the stack: out_of_memory writes through here, and the heap may be what ran out. A UTF-8
        // chunk never needs more units than it has bytes.
        char16_t units[console_chunk_bytes];
        std::uint32_t count = 0;
        if (!chunk.empty() && !api.multi_byte_to_wide_char(
                                  chunk, units, static_cast<std::uint32_t>(console_chunk_bytes), count)) {
            return Failure{
                SystemError::kind_and_message(SystemErrorKind::InvalidData, non_utf8_console_message)};
        }
        std::uint32_t written = 0;
        if (!api.write_console_w(handle, std::u16string_view(units, count), written)) {
            return os_failure(api.get_last_error());
        }
        return bytes_for_units(chunk, written);
    }
    std::uint32_t written = 0;
    if (!api.write_file(handle, bytes, written)) {
        return os_failure(api.get_last_error());
    }
    return std::size_t{written};
}

SystemResult<void> write_stderr_all(ReportApi& api, std::string_view bytes) {
    while (!bytes.empty()) {
        auto written = write_stderr(api, bytes);
        if (!written) {
            return Failure{written.error()};
        }
        if (*written == 0) {
            return Failure{
                SystemError::kind_and_message(SystemErrorKind::WriteZero, "failed to write whole buffer")};
        }
        bytes.remove_prefix(*written);
    }
    return {};
}

}  // namespace ostrand
