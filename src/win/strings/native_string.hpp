// Portable: strings as Windows gives or takes them (UTF-16 units that may hold unpaired surrogates),
// held as generalised UTF-8 bytes, and their conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.hpp"

namespace ostrand {

class NativeString {
public:
    NativeString() = default;

    // From text, which is valid UTF-8 by definition.
    static NativeString from_text(std::string_view text) { return NativeString(std::string(text), true); }
    // From generalised UTF-8 bytes. `known_utf8` may be true only when the bytes hold no encoded
    // surrogate; false is always safe.
    static NativeString from_bytes(std::string bytes, bool known_utf8) {
        return NativeString(std::move(bytes), known_utf8);
    }

    std::string_view bytes() const { return bytes_; }
    // The bytes themselves, without a copy; the string is left empty.
    std::string take_bytes() && { return std::move(bytes_); }
    bool known_utf8() const { return known_utf8_; }
    bool empty() const { return bytes_.empty(); }
    std::size_t size() const { return bytes_.size(); }

    // The first `count` bytes. Callers cut only before an ASCII byte or at the end.
    NativeString leading(std::size_t count) const {
        return NativeString(bytes_.substr(0, count), known_utf8_);
    }

    // Appends, joining an encoded high surrogate at the end with an encoded low surrogate at the start
    // of `other` into the four-byte form of the pair.
    void append(const NativeString& other);
    void append_text(std::string_view text) { append(from_text(text)); }

    friend bool operator==(const NativeString& a, const NativeString& b) { return a.bytes_ == b.bytes_; }

private:
    NativeString(std::string bytes, bool known_utf8) : bytes_(std::move(bytes)), known_utf8_(known_utf8) {}

    std::string bytes_;
    bool known_utf8_ = true;
};

// The bytes of the generalised UTF-8 sequence that begins with `lead`, in well-formed input.
constexpr std::size_t utf8_sequence_length(std::uint8_t lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// A 0 unit, which no string handed to Windows may hold before its terminator.
inline bool holds_nul(std::u16string_view units) {
    return units.find(u'\0') != std::u16string_view::npos;
}

NativeString native_from_utf16(std::u16string_view units);
std::u16string native_to_utf16(const NativeString& string);
// The same bytes as text, or the string handed back when it holds an unpaired surrogate.
Result<std::string, NativeString> native_to_text(NativeString string);

// The quoted form: escapes, \u{..} for unpaired surrogates, non-printable characters and combining marks.
std::string quoted_form(const NativeString& string);
std::string quoted_text(std::string_view text);

}  // namespace ostrand
