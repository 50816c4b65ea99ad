// Test support, shared by the unit tests, the Wine tests and the fuzz targets: UTF-16 units, and bytes,
// as text; numbers in hexadecimal; native strings from text and from units.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

#include "win/strings/native_string.hpp"

namespace ostrand::test_support {

// Printable ASCII as it is and every other unit as \u{..} (a byte as \x..), so that a failing check
// shows tabs, line feeds and surrogates. With `double_backslashes` a backslash is written as two, as the
// stand-in game records what it received: a backslash then cannot be taken for the start of an escape.
template <typename Unit>
std::string show_units(std::basic_string_view<Unit> units, bool double_backslashes) {
    std::string out;
    for (const Unit unit : units) {
        const auto value = static_cast<unsigned>(static_cast<std::make_unsigned_t<Unit>>(unit));
        if (value == '\\' && double_backslashes) {
            out += "\\\\";
        } else if (value >= 0x20 && value < 0x7F) {
            out.push_back(static_cast<char>(value));
        } else {
            char escape[12];
            std::snprintf(escape, sizeof escape, sizeof(Unit) == 1 ? "\\x%02X" : "\\u{%x}", value);
            out += escape;
        }
    }
    return out;
}

inline std::string show(std::u16string_view units, bool double_backslashes = false) {
    return show_units(units, double_backslashes);
}
inline std::string show(std::wstring_view units, bool double_backslashes = false) {
    return show_units(units, double_backslashes);
}
inline std::string show(std::string_view bytes) {
    return show_units(bytes, false);
}

// "0x" and the value in lower-case hexadecimal.
inline std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}
inline std::string hex(const void* pointer) {
    return hex(reinterpret_cast<std::uintptr_t>(pointer));
}

inline NativeString text(std::string_view bytes) {
    return NativeString::from_text(bytes);
}
inline NativeString native(std::u16string_view units) {
    return native_from_utf16(units);
}

}  // namespace ostrand::test_support
