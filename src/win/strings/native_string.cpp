// Portable: generalised UTF-8 encoding and decoding of UTF-16 units, and the quoted form.
#include "win/strings/native_string.hpp"

#include <cstdint>

#include "win/strings/unicode_tables.hpp"

namespace ostrand {
namespace {

bool is_high_surrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
char32_t code_point_of_pair(char32_t high, char32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

void put_code_point(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::uint8_t byte_at(std::string_view bytes, std::size_t i) {
    return static_cast<std::uint8_t>(bytes[i]);
}

// Decodes one code point (or encoded surrogate) of well-formed generalised UTF-8 at `i`.
char32_t decode_at(std::string_view bytes, std::size_t& i) {
    const std::uint8_t lead = byte_at(bytes, i);
    const std::size_t length = utf8_sequence_length(lead);
    // The lead byte keeps 7, 5, 4 or 3 bits; each continuation byte 6.
    char32_t cp = lead & (0x7Fu >> (length == 1 ? 0 : length));
    for (std::size_t k = 1; k < length; ++k) {
        cp = (cp << 6) | (i + k < bytes.size() ? (byte_at(bytes, i + k) & 0x3F) : 0);
    }
    i += length;
    return cp;
}

// 0xED then 0xA0..0xAF: an encoded high surrogate; 0xED then 0xB0..0xBF: an encoded low one.
bool ends_in_encoded_high_surrogate(std::string_view bytes) {
    const std::size_t n = bytes.size();
    return n >= 3 && byte_at(bytes, n - 3) == 0xED && (byte_at(bytes, n - 2) & 0xF0) == 0xA0;
}
bool begins_with_encoded_low_surrogate(std::string_view bytes) {
    return bytes.size() >= 3 && byte_at(bytes, 0) == 0xED && (byte_at(bytes, 1) & 0xF0) == 0xB0;
}
bool holds_encoded_surrogate(std::string_view bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (byte_at(bytes, i) == 0xED && byte_at(bytes, i + 1) >= 0xA0) {
            return true;
        }
    }
    return false;
}

void put_hex_escape(std::string& out, char32_t cp) {
    static constexpr char digits[] = "0123456789abcdef";
    out += "\\u{";
    int shift = 20;
    while (shift > 0 && ((cp >> shift) & 0xF) == 0) {
        shift -= 4;
    }
    for (; shift >= 0; shift -= 4) {
        out.push_back(digits[(cp >> shift) & 0xF]);
    }
    out.push_back('}');
}

}  // namespace

void NativeString::append(const NativeString& other) {
    std::string_view tail = other.bytes_;
    if (ends_in_encoded_high_surrogate(bytes_) && begins_with_encoded_low_surrogate(tail)) {
        std::size_t i = bytes_.size() - 3;
        const char32_t high = decode_at(bytes_, i);
        i = 0;
        const char32_t low = decode_at(tail, i);
        bytes_.resize(bytes_.size() - 3);
        put_code_point(bytes_, code_point_of_pair(high, low));
        tail.remove_prefix(3);
    }
    bytes_.append(tail);
    // Whatever was joined, an encoded surrogate may remain or have been written: only a string made
    // of two known-UTF-8 halves stays known.
    known_utf8_ = known_utf8_ && other.known_utf8_;
}

NativeString native_from_utf16(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    bool lone_surrogate = false;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (is_high_surrogate(unit) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
            put_code_point(out, code_point_of_pair(unit, units[i + 1]));
            ++i;
        } else {
            // A lone surrogate takes the same three-byte shape as any other BMP unit.
            lone_surrogate = lone_surrogate || is_high_surrogate(unit) || is_low_surrogate(unit);
            put_code_point(out, unit);
        }
    }
    return NativeString::from_bytes(std::move(out), !lone_surrogate);
}

std::u16string native_to_utf16(const NativeString& string) {
    const std::string_view bytes = string.bytes();
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const char32_t cp = decode_at(bytes, i);
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

Result<std::string, NativeString> native_to_text(NativeString string) {
    if (!string.known_utf8() && holds_encoded_surrogate(string.bytes())) {
        return Failure{std::move(string)};
    }
    return std::move(string).take_bytes();
}

std::string quoted_form(const NativeString& string) {
    const std::string_view bytes = string.bytes();
    std::string out;
    out.reserve(bytes.size() + 2);
    out.push_back('"');
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t start = i;
        const char32_t cp = decode_at(bytes, i);
        switch (cp) {
            case 0:
                out += "\\0";
                continue;
            case '\t':
                out += "\\t";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            case '"':
                out += "\\\"";
                continue;
            default:
                break;
        }
        if (is_high_surrogate(cp) || is_low_surrogate(cp) || !is_printable(cp) || is_grapheme_extend(cp)) {
            put_hex_escape(out, cp);
        } else {
            out.append(bytes.substr(start, i - start));
        }
    }
    out.push_back('"');
    return out;
}

std::string quoted_text(std::string_view text) {
    return quoted_form(NativeString::from_text(text));
}

}  // namespace ostrand
