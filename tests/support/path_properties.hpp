// Properties of path_parent and path_join that must hold for every input, shared by the seeded unit
// test and the fuzz target. Each check returns an empty string when everything holds, otherwise a
// description of the first failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "generalised_utf8.hpp"
#include "unit_text.hpp"
#include "win/path.hpp"
#include "win/strings/native_string.hpp"

namespace ostrand::path_properties {

inline std::string shown(std::string_view bytes) {
    return test_support::show(native_to_utf16(NativeString::from_bytes(std::string(bytes), false)));
}

// A single name component: not empty, no separator, no prefix, neither "." nor "..".
inline bool is_plain_name(const NativeString& name) {
    const std::string_view bytes = name.bytes();
    return !bytes.empty() && bytes.find_first_of("\\/") == std::string_view::npos && bytes != "." &&
           bytes != ".." && parse_path_head(bytes).prefix == PathPrefix::None;
}

inline std::string check_flag(const NativeString& result, bool inputs_known, std::string_view what) {
    if (inputs_known && !result.known_utf8()) {
        return std::string(what) + " of known UTF-8 lost the flag: " + shown(result.bytes());
    }
    if (result.known_utf8() && test_support::scan_generalised_utf8(result.bytes()).holds_surrogate) {
        return std::string(what) + " claims known UTF-8 but holds a surrogate: " + shown(result.bytes());
    }
    return {};
}

inline std::string check_parent_properties(const NativeString& path) {
    const std::u16string path_units = native_to_utf16(path);
    NativeString current = path;
    std::size_t steps = 0;
    while (const auto parent = path_parent(current)) {
        ++steps;
        const std::string context = "parent of " + shown(current.bytes()) + " = " + shown(parent->bytes());
        if (steps > path.size()) {
            return "more parents than bytes in " + shown(path.bytes()) + ": " + context;
        }
        if (parent->size() >= current.size() || !current.bytes().starts_with(parent->bytes())) {
            return "not a shorter leading part: " + context;
        }
        // The cut must fall between code units, leaving every surrogate before it as it was.
        if (!std::u16string_view(path_units).starts_with(native_to_utf16(*parent))) {
            return "units changed: " + context;
        }
        if (std::string failure = check_flag(*parent, current.known_utf8(), context); !failure.empty()) {
            return failure;
        }
        current = *parent;
    }
    return {};
}

// `name` must be a plain name (is_plain_name).
inline std::string check_join_properties(const NativeString& base, const NativeString& name) {
    const NativeString joined = path_join(base, name);
    const std::string context =
        "join of " + shown(base.bytes()) + " and " + shown(name.bytes()) + " = " + shown(joined.bytes());
    const std::string_view bytes = joined.bytes();
    const PathHead head = parse_path_head(base.bytes());
    const bool literal = is_literal(head.prefix);

    std::string_view kept = base.bytes();
    while (!kept.empty() && (kept.back() == '\\' || (!literal && kept.back() == '/'))) {
        kept.remove_suffix(1);
    }
    // A literal base is rebuilt from its components, so repeated backslashes inside it and a slash
    // as its root are not kept; only its prefix is sure to survive.
    if (literal) {
        const std::string_view body = base.bytes().substr(head.length());
        const bool root_is_slash = head.has_root && base.bytes()[head.prefix_length] == '/';
        const std::string_view inner = body.substr(0, body.find_last_not_of('\\') + 1);
        if (root_is_slash || inner.starts_with('\\') || inner.find("\\\\") != std::string_view::npos) {
            kept = base.bytes().substr(0, head.prefix_length);
        }
    } else {
        kept = base.bytes();
    }
    if (!bytes.starts_with(kept)) {
        return "does not start with " + shown(kept) + ": " + context;
    }
    if (!bytes.ends_with(name.bytes())) {
        return "does not end with the name: " + context;
    }
    if (!literal) {
        const std::size_t between = bytes.size() - base.size() - name.size();
        if (between > 1 || (between == 1 && bytes[base.size()] != '\\')) {
            return "more than one backslash inserted: " + context;
        }
    } else if (bytes.size() <= name.size() || bytes[bytes.size() - name.size() - 1] != '\\') {
        return "name not after a backslash: " + context;
    }
    return check_flag(joined, base.known_utf8() && name.known_utf8(), context);
}

// The first byte picks how the path starts, so that every kind of prefix is met often; each further
// byte maps to one symbol of a small alphabet that reaches every path rule: separators, the characters
// of the prefixes, a surrogate pair, both halves of it alone, and a non-ASCII letter.
inline NativeString path_from_symbols(std::span<const std::uint8_t> symbols) {
    static constexpr std::u16string_view starts[] = {
        u"", u"", u"", u"\\\\?\\", u"\\\\?\\UNC\\", u"\\\\?\\C:", u"\\\\.\\", u"\\\\", u"//", u"C:", u".",
    };
    static constexpr std::u16string_view alphabet = u"\\/:?.UNCabDx\\.\xD83D\xDE00\xD800\u00E9";
    std::u16string units;
    if (!symbols.empty()) {
        units = starts[symbols.front() % std::size(starts)];
        for (const std::uint8_t symbol : symbols.subspan(1)) {
            units += alphabet[symbol % alphabet.size()];
        }
    }
    return native_from_utf16(units);
}

}  // namespace ostrand::path_properties
