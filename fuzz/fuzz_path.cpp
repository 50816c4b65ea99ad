// Path rules on arbitrary input. The first byte picks how the rest becomes a path: symbols of a small
// alphabet of path characters, UTF-16 units from byte pairs, or the bytes themselves when they are
// valid generalised UTF-8. A 0xFF byte splits the rest into a base and a second path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "../tests/support/generalised_utf8.hpp"
#include "../tests/support/path_properties.hpp"

namespace {

using namespace ostrand;

// The bytes themselves, when they are generalised UTF-8.
std::optional<NativeString> from_generalised_utf8(std::span<const std::uint8_t> data) {
    std::string bytes(data.begin(), data.end());
    const test_support::Utf8Scan scan = test_support::scan_generalised_utf8(bytes);
    if (!scan.well_formed) {
        return std::nullopt;
    }
    return NativeString::from_bytes(std::move(bytes), !scan.holds_surrogate);
}

std::optional<NativeString> make_path(std::uint8_t mode, std::span<const std::uint8_t> data) {
    switch (mode % 3) {
        case 0:
            return path_properties::path_from_symbols(data);
        case 1: {
            std::u16string units;
            for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
                units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            }
            return native_from_utf16(units);
        }
        default:
            return from_generalised_utf8(data);
    }
}

void require(const std::string& failure) {
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    std::span<const std::uint8_t> first = rest;
    std::optional<std::span<const std::uint8_t>> second;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == 0xFF) {
            first = rest.first(i);
            second = rest.subspan(i + 1);
            break;
        }
    }

    const std::optional<NativeString> base = make_path(data[0], first);
    if (!base) {
        return 0;
    }
    require(path_properties::check_parent_properties(*base));

    const NativeString fixed_names[] = {NativeString::from_text("hl2.exe"),
                                        NativeString::from_text("dxvk-cache"), native_from_utf16(u"\xDE00x"),
                                        native_from_utf16(u"x\xD83D")};
    for (const NativeString& name : fixed_names) {
        require(path_properties::check_join_properties(*base, name));
    }

    if (second) {
        const std::optional<NativeString> appended = make_path(data[0], *second);
        if (appended) {
            require(path_properties::check_parent_properties(*appended));
            const NativeString joined = path_join(*base, *appended);
            require(
                path_properties::check_flag(joined, base->known_utf8() && appended->known_utf8(), "join"));
            if (path_properties::is_plain_name(*appended)) {
                require(path_properties::check_join_properties(*base, *appended));
            }
        }
    }
    return 0;
}
