// Portable: Windows path rules over generalised UTF-8 bytes. Every byte these rules look at is ASCII,
// and an ASCII byte never occurs inside a longer sequence, so cutting at one never splits a character
// or an encoded surrogate.
#include "win/path.hpp"

#include <string>
#include <vector>

namespace ostrand {

namespace {

// The drive of these rules: an ASCII letter and a colon, as in "C:" and "\\?\C:".
bool begins_with_drive_letter(std::string_view text) {
    return text.size() >= 2 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
           text[1] == ':';
}

std::size_t find_backslash(std::string_view path, std::size_t from) {
    const std::size_t at = path.find('\\', from);
    return at == std::string_view::npos ? path.size() : at;
}

std::size_t find_separator(std::string_view path, std::size_t from) {
    const std::size_t at = path.find_first_of("\\/", from);
    return at == std::string_view::npos ? path.size() : at;
}

struct PrefixMatch {
    PathPrefix kind = PathPrefix::None;
    std::size_t length = 0;
};

PrefixMatch match_literal_prefix(std::string_view path) {
    if (path.size() >= 8 && path.substr(4, 3) == "UNC" && is_separator(path[7])) {
        const std::size_t server_end = find_backslash(path, 8);
        std::size_t length = server_end;
        if (server_end < path.size()) {
            const std::size_t share_end = find_backslash(path, server_end + 1);
            if (share_end > server_end + 1) {
                length = share_end;
            }
        }
        return {PathPrefix::LiteralUnc, length};
    }
    if (begins_with_drive_letter(path.substr(4)) && (path.size() == 6 || is_separator(path[6]))) {
        return {PathPrefix::LiteralDrive, 6};
    }
    return {PathPrefix::Literal, find_backslash(path, 4)};
}

PrefixMatch match_prefix(std::string_view path) {
    // Only backslashes introduce the literal form; //?/ is an ordinary share path.
    if (path.starts_with(literal_marker)) {
        return match_literal_prefix(path);
    }
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
        if (path.size() >= 4 && path[2] == '.' && is_separator(path[3])) {
            return {PathPrefix::Device, find_separator(path, 4)};
        }
        const std::size_t server_end = find_separator(path, 2);
        if (server_end == 2 || server_end == path.size()) {
            return {};
        }
        const std::size_t share_end = find_separator(path, server_end + 1);
        if (share_end == server_end + 1) {
            return {};
        }
        return {PathPrefix::Unc, share_end};
    }
    if (begins_with_drive_letter(path)) {
        return {PathPrefix::Drive, 2};
    }
    return {};
}

NativeString slice(const NativeString& source, std::size_t begin, std::size_t end) {
    // A cut of a string without encoded surrogates has none either.
    return NativeString::from_bytes(std::string(source.bytes().substr(begin, end - begin)),
                                    source.known_utf8());
}

enum class EntryKind { Prefix, Root, Dot, DotDot, Name };

struct Entry {
    EntryKind kind;
    const NativeString* source = nullptr;
    std::size_t begin = 0;
    std::size_t end = 0;
};

EntryKind piece_kind(std::string_view piece) {
    if (piece == ".") {
        return EntryKind::Dot;
    }
    if (piece == "..") {
        return EntryKind::DotDot;
    }
    return EntryKind::Name;
}

// A literal path is passed to the system without normalisation, so ".." in the appended part has to
// be resolved here against the base's names, and the result written with backslashes only.
NativeString join_literal(const NativeString& base, const PathHead& head, const NativeString& appended) {
    std::vector<Entry> entries;
    entries.push_back({EntryKind::Prefix, &base, 0, head.prefix_length});
    if (head.has_root) {
        entries.push_back({EntryKind::Root});
    }
    const std::string_view base_bytes = base.bytes();
    for (std::size_t begin = head.length(); begin < base_bytes.size();) {
        const std::size_t end = find_backslash(base_bytes, begin);
        if (end > begin) {
            entries.push_back({piece_kind(base_bytes.substr(begin, end - begin)), &base, begin, end});
        }
        begin = end + 1;
    }

    const std::string_view bytes = appended.bytes();
    if (is_separator(bytes.front())) {
        entries.resize(1);
        entries.push_back({EntryKind::Root});
    }
    for (std::size_t begin = 0; begin < bytes.size();) {
        const std::size_t end = find_separator(bytes, begin);
        const std::string_view piece = bytes.substr(begin, end - begin);
        if (!piece.empty() && piece != ".") {
            if (piece_kind(piece) == EntryKind::DotDot) {
                if (entries.back().kind == EntryKind::Name) {
                    entries.pop_back();
                }
            } else {
                entries.push_back({EntryKind::Name, &appended, begin, end});
            }
        }
        begin = end + 1;
    }

    NativeString result;
    const Entry* previous = nullptr;
    for (const Entry& entry : entries) {
        if (previous != nullptr && previous->kind != EntryKind::Root && entry.kind != EntryKind::Root) {
            result.append_text("\\");
        }
        switch (entry.kind) {
            case EntryKind::Root:
                result.append_text("\\");
                break;
            case EntryKind::Dot:
                result.append_text(".");
                break;
            case EntryKind::DotDot:
                result.append_text("..");
                break;
            case EntryKind::Prefix:
            case EntryKind::Name:
                result.append(slice(*entry.source, entry.begin, entry.end));
                break;
        }
        previous = &entry;
    }
    return result;
}

}  // namespace

bool is_literal(PathPrefix prefix) {
    return prefix == PathPrefix::LiteralUnc || prefix == PathPrefix::LiteralDrive ||
           prefix == PathPrefix::Literal;
}

PathHead parse_path_head(std::string_view path) {
    const PrefixMatch prefix = match_prefix(path);
    PathHead head;
    head.prefix = prefix.kind;
    head.prefix_length = prefix.length;
    const std::size_t at = prefix.length;
    if (at < path.size() && is_separator(path[at])) {
        head.has_root = true;
    } else if ((prefix.kind == PathPrefix::None || prefix.kind == PathPrefix::Drive) && at < path.size() &&
               path[at] == '.' && (at + 1 == path.size() || is_separator(path[at + 1]))) {
        head.has_leading_dot = true;
    }
    return head;
}

std::optional<NativeString> path_parent(const NativeString& path) {
    const std::string_view bytes = path.bytes();
    const PathHead head = parse_path_head(bytes);
    const bool literal = is_literal(head.prefix);
    const std::size_t begin = head.length();
    std::size_t end = bytes.size();

    // Trailing separators and, outside literal paths, "." pieces name nothing: x/./ is x.
    const auto drop_empty_tail = [&] {
        while (end > begin) {
            if (is_body_separator(bytes[end - 1], literal)) {
                --end;
            } else if (!literal && bytes[end - 1] == '.' &&
                       (end - 1 == begin || is_body_separator(bytes[end - 2], literal))) {
                --end;
            } else {
                break;
            }
        }
    };

    drop_empty_tail();
    if (end == begin) {
        // "." and "./" stand for the current directory, whose parent is reached by the empty path.
        if (head.has_leading_dot && head.prefix == PathPrefix::None) {
            return NativeString();
        }
        return std::nullopt;
    }
    while (end > begin && !is_body_separator(bytes[end - 1], literal)) {
        --end;
    }
    if (end > begin) {
        --end;
    }
    drop_empty_tail();
    return path.leading(end);
}

NativeString path_join(const NativeString& base, const NativeString& appended) {
    if (parse_path_head(appended.bytes()).prefix != PathPrefix::None) {
        return appended;
    }
    const std::string_view base_bytes = base.bytes();
    const PathHead head = parse_path_head(base_bytes);
    if (is_literal(head.prefix) && !appended.empty()) {
        return join_literal(base, head, appended);
    }
    if (!appended.empty() && is_separator(appended.bytes().front())) {
        NativeString result = base.leading(head.prefix_length);
        result.append(appended);
        return result;
    }
    NativeString result = base;
    // "C:" names the current directory of drive C, so C:x must stay drive-relative.
    const bool bare_drive = head.prefix == PathPrefix::Drive && base_bytes.size() == 2;
    if (!base_bytes.empty() && !is_separator(base_bytes.back()) && !bare_drive) {
        result.append_text("\\");
    }
    result.append(appended);
    return result;
}

}  // namespace ostrand
