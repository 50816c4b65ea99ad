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
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        std::size_t length = 0;
        std::uint32_t point = 0;
        if (lead < 0x80) {
            length = 1;
            point = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            point = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            point = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            point = lead & 0x07;
        } else {
            scan.well_formed = false;
            return scan;
        }
        if (i + length > bytes.size()) {
            scan.well_formed = false;
            return scan;
        }
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
