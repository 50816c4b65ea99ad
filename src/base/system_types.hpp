// Portable: the few Windows value types and constants that several layers pass, without <windows.h>.
// Every constant here, and in the system interface headers, copies a Windows macro; the kernel32
// layer holds each against its macro.
#pragma once

#include <cstdint>

namespace ostrand {

using Handle = void*;  // HANDLE
using Module = void*;  // HMODULE

// INVALID_HANDLE_VALUE, (HANDLE)-1.
inline Handle invalid_handle_value() { return reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1)); }

inline constexpr std::uint32_t std_input_handle = static_cast<std::uint32_t>(-10);
inline constexpr std::uint32_t std_output_handle = static_cast<std::uint32_t>(-11);
inline constexpr std::uint32_t std_error_handle = static_cast<std::uint32_t>(-12);

inline constexpr std::uint32_t error_invalid_handle = 6;
inline constexpr std::uint32_t error_insufficient_buffer = 122;

// CP_UTF8.
inline constexpr std::uint32_t utf8_code_page = 65001;

// The code that the fail-fast service is given for every end of the launcher through it.
inline constexpr std::uint32_t fast_fail_fatal_app_exit = 7;

}  // namespace ostrand
