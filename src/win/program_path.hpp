// Portable: how a program path becomes the application name that CreateProcessW is given: the search
// for a bare program name, and the form in which Windows is handed a path. The system is reached
// through ProcessApi and SelfApi only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/system_error.hpp"
#include "win/process_api.hpp"
#include "win/self_api.hpp"
#include "win/strings/native_string.hpp"

namespace ostrand {

inline constexpr std::string_view no_file_name_message = "program path has no file name";
inline constexpr std::string_view winapi_nul_message = "strings passed to WinAPI cannot contain NULs";
inline constexpr std::string_view program_not_found_message = "program not found";

// The entries of a PATH-like value: ";" separates except between double quotes, the quotes are
// dropped, and empty entries are left out.
std::vector<NativeString> split_path_list(const NativeString& list);

// GetFullPathNameW of a path, through the buffer rule.
SystemResult<std::u16string> full_path_name(const std::u16string& path, ProcessApi& process);

// The path's UTF-16 units as the system is to be given them; the terminator is the string's own. A
// short \\?\ drive or share path loses the prefix when its plain form names the same file; a path of
// 248 to 260 units with the terminator gains one. Fails on a 0 unit, or when GetFullPathNameW fails.
SystemResult<std::u16string> to_system_path(const NativeString& path, ProcessApi& process);

// The application name for `program_path`. A path with a directory part is taken as it is (".exe"
// added only when such a file exists); a bare name is searched for in `search_path` (the child's own
// PATH, when it has one), the launcher's directory, the system and Windows directories and the
// launcher's PATH.
SystemResult<std::u16string> resolve_program(const NativeString& program_path,
                                             const std::optional<NativeString>& search_path,
                                             ProcessApi& process, SelfApi& self);

}  // namespace ostrand
