// Portable: comparisons that fold only the ASCII letters, over bytes or UTF-16 units. Every other unit,
// and every byte of a non-ASCII character, stays as it is.
#pragma once

#include <algorithm>
#include <string_view>
#include <type_traits>

namespace ostrand {

template <typename Unit>
constexpr Unit ascii_lower(Unit unit) {
    return unit >= Unit('A') && unit <= Unit('Z') ? static_cast<Unit>(unit - Unit('A') + Unit('a')) : unit;
}

// True when `text` is `lower` with any of its ASCII letters in either case; `lower` is in lower case.
template <typename Unit>
constexpr bool equals_ascii_ignoring_case(std::basic_string_view<Unit> text,
                                          std::type_identity_t<std::basic_string_view<Unit>> lower) {
    return std::equal(text.begin(), text.end(), lower.begin(), lower.end(),
                      [](Unit a, Unit b) { return ascii_lower(a) == b; });
}

// True when the last units of `text` are `lower_suffix`, ASCII letters compared in any case.
template <typename Unit>
constexpr bool ends_with_ascii_ignoring_case(
    std::basic_string_view<Unit> text, std::type_identity_t<std::basic_string_view<Unit>> lower_suffix) {
    return text.size() >= lower_suffix.size() &&
           equals_ascii_ignoring_case(text.substr(text.size() - lower_suffix.size()), lower_suffix);
}

}  // namespace ostrand
