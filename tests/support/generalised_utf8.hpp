// Test support, shared by the unit tests and the fuzz targets: what a byte string is as generalised
// UTF-8, read on its own terms rather than by the decoder under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ostrand::test_support {

struct Utf8Scan {
    // Generalised UTF-8: shortest forms only, and surrogates one by one, but never a high one directly
    // followed by a low one (that pair has its own four-byte form).
    bool well_formed = true;
    bool holds_surrogate = false;
    // Plain UTF-8, as MultiByteToWideChar with MB_ERR_INVALID_CHARS takes it.
    bool valid_utf8() const { return well_formed && !holds_surrogate; }
};

inline Utf8Scan scan_generalised_utf8(std::string_view bytes) {
    Utf8Scan scan;
    bool after_high = false;
    for (std::size_t i = 0; i < bytes.size();) {
        // The lead byte gives the length (0: no lead byte) and the first bits of the code point.
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || i + length > bytes.size()) {
            scan.well_formed = false;
            return scan;
        }
        std::uint32_t point = length == 1 ? lead : lead & (0xFFu >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                scan.well_formed = false;
                return scan;
            }
            point = (point << 6) | (next & 0x3F);
        }
        const bool high = point >= 0xD800 && point <= 0xDBFF;
        const bool low = point >= 0xDC00 && point <= 0xDFFF;
        if ((length == 3 && point < 0x800) || (length == 4 && (point < 0x10000 || point > 0x10FFFF)) ||
            (low && after_high)) {
            scan.well_formed = false;
            return scan;
        }
        scan.holds_surrogate = scan.holds_surrogate || high || low;
        after_high = high;
        i += length;
    }
    return scan;
}

}  // namespace ostrand::test_support
