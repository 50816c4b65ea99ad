// Small helpers shared by the unit tests for showing and building UTF-16 data.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace ostrand::testing {

// Units as text, with every unit outside printable ASCII in hexadecimal, so that a failing row shows
// tabs, line feeds and surrogates.
inline std::string show(std::u16string_view units) {
    std::string out;
    for (const char16_t unit : units) {
        if (unit >= 0x20 && unit < 0x7F) {
            out.push_back(static_cast<char>(unit));
        } else {
            char buffer[12];
            std::snprintf(buffer, sizeof buffer, "<%04X>", static_cast<unsigned>(unit));
            out += buffer;
        }
    }
    return out;
}

// A system environment block, as GetEnvironmentStringsW hands it out: each string and a 0 unit, then
// one more 0 unit. Allocated with new[], so that a read after the matching delete[] is caught.
inline char16_t* new_environment_block(const std::vector<std::u16string>& strings) {
    std::u16string block;
    for (const std::u16string& string : strings) {
        block += string;
        block.push_back(u'\0');
    }
    block.push_back(u'\0');
    auto* copy = new char16_t[block.size()];
    std::copy(block.begin(), block.end(), copy);
    return copy;
}

}  // namespace ostrand::testing
