// Portable: the Windows value types and constants that the portable layers use, without <windows.h>.
// Each constant copies the macro of its name in upper case (infinite_timeout: INFINITE, utf8_code_page:
// CP_UTF8); the kernel32 layer holds every one against its macro.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrand {

using Handle = void*;  // HANDLE
using Module = void*;  // HMODULE

// INVALID_HANDLE_VALUE, (HANDLE)-1.
inline Handle invalid_handle_value() {
    return reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));
}

inline constexpr std::uint32_t std_input_handle = static_cast<std::uint32_t>(-10);
inline constexpr std::uint32_t std_output_handle = static_cast<std::uint32_t>(-11);
inline constexpr std::uint32_t std_error_handle = static_cast<std::uint32_t>(-12);

inline constexpr std::uint32_t error_invalid_handle = 6;
inline constexpr std::uint32_t error_insufficient_buffer = 122;
inline constexpr std::uint32_t error_mod_not_found = 126;
inline constexpr std::uint32_t error_proc_not_found = 127;

// Reports and their end.
inline constexpr std::uint32_t fast_fail_fatal_app_exit = 7;
inline constexpr std::uint32_t utf8_code_page = 65001;
inline constexpr std::uint32_t format_message_from_system = 0x1000;
inline constexpr std::uint32_t format_message_ignore_inserts = 0x200;
inline constexpr std::uint32_t format_message_from_hmodule = 0x800;
inline constexpr std::uint32_t facility_nt_bit = 0x10000000;

// The environment block: what CompareStringOrdinal answers; anything else is a failure.
inline constexpr int cstr_less_than = 1;
inline constexpr int cstr_equal = 2;
inline constexpr int cstr_greater_than = 3;

// The start of the game and the wait for it.
inline constexpr std::uint32_t startf_usestdhandles = 0x100;
// The shell starts a program from a shortcut's hotkey with the hotkey in the input slot, and from the
// taskbar or the Start menu with the monitor to open on in the output slot (a flag that the Windows
// headers do not name); either way the slot holds a value that is no stream.
inline constexpr std::uint32_t startf_usehotkey = 0x200;
inline constexpr std::uint32_t startf_shell_monitor = 0x400;
inline constexpr std::uint32_t create_unicode_environment = 0x400;
inline constexpr std::uint32_t duplicate_same_access = 2;
inline constexpr std::uint32_t infinite_timeout = 0xFFFFFFFF;
inline constexpr std::uint32_t wait_object_0 = 0;
inline constexpr std::uint32_t invalid_file_attributes = 0xFFFFFFFF;
inline constexpr std::uint32_t error_filename_exced_range = 206;
inline constexpr std::size_t max_path = 260;  // counting the terminator

// The load of the Vulkan loader library.
inline constexpr std::uint32_t sem_failcriticalerrors = 0x0001;
inline constexpr std::uint32_t load_library_search_application_dir = 0x00000200;
inline constexpr std::uint32_t load_library_search_system32 = 0x00000800;

}  // namespace ostrand
