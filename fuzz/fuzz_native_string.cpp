// The conversions between UTF-16 units and generalised UTF-8 are exact inverses for any units, and
// appending two converted halves gives the conversion of the whole.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "win/strings/native_string.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t cut_at = data[0];
    std::u16string units((size - 1) / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
    }
    const ostrand::NativeString whole = ostrand::native_from_utf16(units);
    if (ostrand::native_to_utf16(whole) != units) {
        std::abort();
    }
    const std::size_t cut = units.empty() ? 0 : cut_at % (units.size() + 1);
    ostrand::NativeString joined = ostrand::native_from_utf16(units.substr(0, cut));
    joined.append(ostrand::native_from_utf16(units.substr(cut)));
    if (!(joined == whole)) {
        std::abort();
    }
    // Text is exactly what holds no unpaired surrogate, and the quoted form never fails.
    const bool text = ostrand::native_to_text(whole).has_value();
    if (text != whole.known_utf8()) {
        std::abort();
    }
    (void)ostrand::quoted_form(whole);
    return 0;
}
