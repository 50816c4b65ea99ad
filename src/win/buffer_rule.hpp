// Portable: the one loop for system calls that fill a text buffer (GetModuleFileNameW,
// GetFullPathNameW, GetSystemDirectoryW, GetWindowsDirectoryW).
#pragma once

#include <cstdint>
#include <string>

#include "base/shared_api.hpp"
#include "report/fatal.hpp"
#include "report/system_error.hpp"

namespace ostrand {

inline constexpr std::uint32_t first_buffer_units = 512;

// A full buffer without ERROR_INSUFFICIENT_BUFFER. Kept out of the template below, so that the
// report's source position (which names its function) is stored once, not once for every call.
[[noreturn]] inline void buffer_rule_broken() {
    fatal("internal error: entered unreachable code");
}

// `call(buffer, size)` returns what the system call returned. A result equal to the size with
// ERROR_INSUFFICIENT_BUFFER doubles the room; a result larger than the size is the room asked for;
// 0 with a last error is that error; anything else is the length of the text in the buffer.
template <typename Call>
SystemResult<std::u16string> read_filled_buffer(LastErrorApi& system, Call&& call) {
    char16_t stack_buffer[first_buffer_units];
    std::u16string heap_buffer;
    char16_t* buffer = stack_buffer;
    std::uint32_t size = first_buffer_units;
    for (;;) {
        // The last error tells an empty result from a failure, and a cut text from one that fits
        // exactly; clear it so that an older value cannot be mistaken for this call's.
        system.set_last_error(0);
        const std::uint32_t k = call(buffer, size);
        const std::uint32_t error = system.get_last_error();
        if (k == 0 && error != 0) {
            return os_failure(error);
        }
        if (k == size) {
            if (error != error_insufficient_buffer) {
                buffer_rule_broken();
            }
            size = size >= 0x80000000u ? 0xFFFFFFFFu : size * 2;
        } else if (k > size) {
            size = k;
        } else {
            return std::u16string(buffer, k);
        }
        heap_buffer.assign(size, u'\0');
        buffer = heap_buffer.data();
    }
}

}  // namespace ostrand
