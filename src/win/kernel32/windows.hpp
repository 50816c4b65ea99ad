// Windows only: the single way in which <windows.h> enters the project.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#ifndef WINVER
#define WINVER 0x0A00
#endif
#ifndef UNICODE
#define UNICODE
#endif

#include <windows.h>

#include <cstdint>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows strings are UTF-16 units");

namespace ostrand {

inline const wchar_t* wide(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}
inline wchar_t* wide(char16_t* s) {
    return reinterpret_cast<wchar_t*>(s);
}

// __fastfail, which mingw-w64 does not declare: the code goes in ECX. The system ends the process with
// 0xC0000409 at once; no exception handler, clean-up or DLL detach runs. Always inlined, so that the
// stack-protector failure routine, built without the protector, runs no protected code on its way.
[[noreturn, gnu::always_inline]] inline void fastfail(std::uint32_t code) {
    asm volatile("int $0x29" : : "c"(code) : "memory");
    __builtin_unreachable();
}

}  // namespace ostrand
