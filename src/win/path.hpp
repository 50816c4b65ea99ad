// Portable: Windows path rules (drive letters, roots, shares, the \\?\ and \\.\ forms) over the bytes
// of a NativeString, and the names of those forms for UTF-16 paths too. Nothing here touches the file
// system or makes a path absolute.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>

#include "win/strings/native_string.hpp"

namespace ostrand {

// The literal form, whose rest the system hands to the object manager without rewriting it, and its
// share variant; the device form; the object manager's own namespace, also taken as it stands.
inline constexpr std::string_view literal_marker = R"(\\?\)";
inline constexpr std::string_view literal_unc_marker = R"(\\?\UNC\)";
inline constexpr std::string_view device_marker = R"(\\.\)";
inline constexpr std::string_view object_marker = R"(\??\)";

template <typename Unit>
constexpr bool is_separator(Unit unit) {
    return unit == Unit('\\') || unit == Unit('/');
}

// Inside the body of a literal path Windows hands the rest to the object manager untouched, where only
// the backslash separates.
template <typename Unit>
constexpr bool is_body_separator(Unit unit, bool literal) {
    return unit == Unit('\\') || (!literal && unit == Unit('/'));
}

inline bool begins_with(std::u16string_view path, std::string_view marker) {
    return path.size() >= marker.size() && std::equal(marker.begin(), marker.end(), path.begin());
}

// A path in the literal form or the object manager's: the system takes it without any rewriting.
inline bool begins_with_literal_or_object(std::u16string_view path) {
    return begins_with(path, literal_marker) || begins_with(path, object_marker);
}

// Tried in this order; the first that matches wins.
enum class PathPrefix {
    None,
    LiteralUnc,    // \\?\UNC\server\share
    LiteralDrive,  // \\?\C:
    Literal,       // \\?\name
    Device,        // \\.\name
    Unc,           // \\server\share
    Drive,         // C:
};

// In a literal path (\\?\ forms) only the backslash separates and "." is kept as a component.
bool is_literal(PathPrefix prefix);

// The leading part of a path that is not made of components: prefix, root separator, leading dot.
struct PathHead {
    PathPrefix prefix = PathPrefix::None;
    std::size_t prefix_length = 0;
    bool has_root = false;
    bool has_leading_dot = false;

    std::size_t length() const { return prefix_length + (has_root ? 1 : 0) + (has_leading_dot ? 1 : 0); }
};

PathHead parse_path_head(std::string_view path);

// The path without its last component, as a leading part of `path`; none for the empty path, a
// prefix or root alone, and a prefix with its root.
std::optional<NativeString> path_parent(const NativeString& path);

// `appended` read relative to `base`: a prefixed `appended` replaces `base`, a rooted one keeps only
// the base's prefix. Inserts a backslash where one is needed and never rewrites a slash, except that
// a literal base is rebuilt from its components.
NativeString path_join(const NativeString& base, const NativeString& appended);

}  // namespace ostrand
