// Splitting any command line: no crash, no read out of bounds, at least one element, and every
// element converts back to the units it was made of.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "win/own_inputs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string line(size / 2, u'\0');
    for (std::size_t i = 0; i < line.size(); ++i) {
        line[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    const auto elements = ostrand::split_command_line(line);
    if (elements.empty()) {
        std::abort();
    }
    std::size_t units = 0;
    for (const auto& element : elements) {
        units += ostrand::native_to_utf16(element).size();
    }
    // Splitting only ever drops units (quotes, separators, escaping backslashes).
    if (units > line.size()) {
        std::abort();
    }
    return 0;
}
