// Portable: the application name of a child, from its program path.
#include "win/program_path.hpp"

#include <utility>

#include "win/buffer_rule.hpp"
#include "win/own_inputs.hpp"
#include "win/path.hpp"
#include "win/strings/ascii.hpp"

namespace ostrand {
namespace {

// CreateDirectoryW keeps 12 units of MAX_PATH free for an 8.3 name: from 248 units on, a path may
// already be too long for one of the calls that take it without the \\?\ prefix.
constexpr std::size_t prefix_needed_from = 248;

// A unit, ":" and a backslash: the start of a full drive path.
bool begins_with_drive_root(std::u16string_view units) {
    return units.size() >= 3 && units[1] == u':' && units[2] == u'\\';
}

// A drive alone or with its root: any unit but a separator, ":", then the end or a separator ("C:" and
// "C:\x" but not "C:x"). Wider than the path rules' drive letter: this decides what the system may be
// handed as it stands, and the system takes any unit before the colon for a drive.
bool begins_with_bare_or_rooted_drive(std::u16string_view units) {
    return units.size() >= 2 && !is_separator(units[0]) && units[1] == u':' &&
           (units.size() == 2 || is_separator(units[2]));
}

bool begins_with_two_separators(std::u16string_view units) {
    return units.size() >= 2 && is_separator(units[0]) && is_separator(units[1]);
}

std::u16string marked(std::string_view marker, std::u16string_view rest) {
    return std::u16string(marker.begin(), marker.end()).append(rest);
}

// The literal form of a full path, whose length the system then no longer limits.
std::u16string with_literal_prefix(std::u16string full) {
    const std::u16string_view units = full;
    if (begins_with_drive_root(units)) {
        return marked(literal_marker, units);
    }
    if (begins_with(units, device_marker)) {
        return marked(literal_marker, units.substr(device_marker.size()));
    }
    if (!begins_with_literal_or_object(units) && begins_with(units, R"(\\)")) {
        return marked(literal_unc_marker, units.substr(2));
    }
    return full;
}

// `literal` is a \\?\ path and `plain` its form without the prefix. The plain form is taken when
// Windows' own reading of it (GetFullPathNameW) leaves it unchanged, that is when it holds nothing
// that the plain form would rewrite: no "." or ".." piece, no trailing dot or space, no slash.
SystemResult<std::u16string> plain_when_same(std::u16string literal, std::u16string plain,
                                             ProcessApi& process) {
    SystemResult<std::u16string> full = full_path_name(plain, process);
    if (!full) {
        return full;
    }
    return *full == plain ? std::move(plain) : std::move(literal);
}

bool file_exists(ProcessApi& process, const std::u16string& system_path) {
    return process.get_file_attributes_w(system_path.c_str()) != invalid_file_attributes;
}

// The bare-name search: directories are tried one by one until a candidate exists or converting one
// fails. Later directories are not even asked for once the search is over.
class ProgramSearch {
public:
    ProgramSearch(const NativeString& name, ProcessApi& process)
        : name_(name), add_exe_(name.bytes().find('.') == std::string_view::npos), process_(process) {}

    bool done() const { return outcome_.has_value(); }

    void try_directory(const NativeString& directory) {
        if (done()) {
            return;
        }
        NativeString candidate = path_join(directory, name_);
        if (add_exe_) {
            candidate.append_text(".exe");
        }
        SystemResult<std::u16string> units = to_system_path(candidate, process_);
        if (!units || file_exists(process_, *units)) {
            outcome_.emplace(std::move(units));
        }
    }

    void try_list(const NativeString& list) {
        for (const NativeString& directory : split_path_list(list)) {
            try_directory(directory);
        }
    }

    // A directory that the system was asked for; skipped when the query failed.
    void try_queried_directory(const SystemResult<std::u16string>& directory) {
        if (directory) {
            try_directory(native_from_utf16(*directory));
        }
    }

    SystemResult<std::u16string> outcome() && {
        if (!outcome_) {
            return Failure{
                SystemError::kind_and_message(SystemErrorKind::NotFound, program_not_found_message)};
        }
        return std::move(*outcome_);
    }

private:
    const NativeString& name_;
    // A name without any "." gets ".exe"; "game.v2" is taken as having an extension.
    bool add_exe_;
    ProcessApi& process_;
    std::optional<SystemResult<std::u16string>> outcome_;
};

SystemResult<std::u16string> search_program(const NativeString& name,
                                            const std::optional<NativeString>& search_path,
                                            ProcessApi& process, SelfApi& self) {
    ProgramSearch search(name, process);
    if (search_path) {
        search.try_list(*search_path);
    }
    if (!search.done()) {
        // The launcher's own directory, skipped when its path cannot be read or has no parent.
        if (SystemResult<NativeString> own = executable_path(self)) {
            if (std::optional<NativeString> directory = path_parent(*own)) {
                search.try_directory(*directory);
            }
        }
    }
    if (!search.done()) {
        search.try_queried_directory(read_filled_buffer(process, [&](char16_t* buffer, std::uint32_t size) {
            return process.get_system_directory_w(buffer, size);
        }));
    }
    if (!search.done()) {
        search.try_queried_directory(read_filled_buffer(process, [&](char16_t* buffer, std::uint32_t size) {
            return process.get_windows_directory_w(buffer, size);
        }));
    }
    if (!search.done()) {
        // GetEnvironmentVariableW fails with ERROR_ENVVAR_NOT_FOUND for an unset PATH: nothing to search.
        SystemResult<std::u16string> own_path =
            read_filled_buffer(process, [&](char16_t* buffer, std::uint32_t size) {
                return process.get_environment_variable_w(u"PATH", buffer, size);
            });
        if (own_path) {
            search.try_list(native_from_utf16(*own_path));
        }
    }
    return std::move(search).outcome();
}

}  // namespace

std::vector<NativeString> split_path_list(const NativeString& list) {
    const std::string_view bytes = list.bytes();
    std::vector<NativeString> entries;
    NativeString entry;
    bool quoted = false;
    std::size_t piece_start = 0;
    // Pieces are appended rather than cut out whole, so that an encoded high and low surrogate that
    // meet once a quote between them is dropped become the pair they now are.
    const auto take_piece = [&](std::size_t end) {
        entry.append(NativeString::from_bytes(std::string(bytes.substr(piece_start, end - piece_start)),
                                              list.known_utf8()));
        piece_start = end + 1;
    };
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || (bytes[i] == ';' && !quoted)) {
            take_piece(i);
            if (!entry.empty()) {
                entries.push_back(std::move(entry));
            }
            entry = NativeString();
        } else if (bytes[i] == '"') {
            take_piece(i);
            quoted = !quoted;
        }
    }
    return entries;
}

SystemResult<std::u16string> full_path_name(const std::u16string& path, ProcessApi& process) {
    return read_filled_buffer(process, [&](char16_t* buffer, std::uint32_t size) {
        return process.get_full_path_name_w(path.c_str(), size, buffer);
    });
}

SystemResult<std::u16string> to_system_path(const NativeString& path, ProcessApi& process) {
    std::u16string units = native_to_utf16(path);
    if (holds_nul(units)) {
        return invalid_input(winapi_nul_message);
    }
    const std::size_t length = units.size() + 1;
    if (length > max_path) {
        // A path this long goes to the system as given: no full-path query, no prefix.
        return units;
    }
    const std::u16string_view view = units;
    if (begins_with(view, literal_marker) && begins_with_drive_root(view.substr(literal_marker.size()))) {
        std::u16string plain = units.substr(literal_marker.size());
        return plain_when_same(std::move(units), std::move(plain), process);
    }
    if (begins_with(view, literal_unc_marker)) {
        std::u16string plain = u"\\\\" + units.substr(literal_unc_marker.size());
        return plain_when_same(std::move(units), std::move(plain), process);
    }
    if (begins_with_literal_or_object(view) || view.empty()) {
        return units;
    }
    if (length < prefix_needed_from &&
        (begins_with_bare_or_rooted_drive(view) || begins_with_two_separators(view))) {
        return units;
    }
    SystemResult<std::u16string> full = full_path_name(units, process);
    if (!full) {
        return full;
    }
    // The full path has no terminator: 247 units here are 248 with it.
    if (full->size() + 1 >= prefix_needed_from) {
        return with_literal_prefix(std::move(*full));
    }
    return full;
}

SystemResult<std::u16string> resolve_program(const NativeString& program_path,
                                             const std::optional<NativeString>& search_path,
                                             ProcessApi& process, SelfApi& self) {
    const std::u16string units = native_to_utf16(program_path);
    const std::u16string_view view = units;
    if (view.empty() || is_body_separator(view.back(), begins_with(view, literal_marker))) {
        return invalid_input(no_file_name_message);
    }
    if (view.find_first_of(u"\\/") != std::u16string_view::npos) {
        if (ends_with_ascii_ignoring_case(view, u".exe")) {
            // Whether the file is there is for CreateProcessW to find out.
            return to_system_path(program_path, process);
        }
        NativeString with_exe = program_path;
        with_exe.append_text(".exe");
        SystemResult<std::u16string> candidate = to_system_path(with_exe, process);
        if (!candidate || file_exists(process, *candidate)) {
            return candidate;
        }
        return to_system_path(program_path, process);
    }
    if (holds_nul(view)) {
        return invalid_input(nul_in_data_message);
    }
    return search_program(program_path, search_path, process, self);
}

}  // namespace ostrand
