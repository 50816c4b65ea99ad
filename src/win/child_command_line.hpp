// Portable: the command line handed to CreateProcessW for a child, built so that the child's standard
// argument splitting gives back the program path and every argument unchanged.
#pragma once

#include <string>
#include <vector>

#include "report/system_error.hpp"
#include "win/strings/native_string.hpp"

namespace ostrand {

// The program path between double quotes, then each argument after one space, quoted when it is empty
// or holds a space or tab, with backslashes doubled only where a double quote follows them. No
// terminator. Fails as a whole with InvalidInput when an argument holds a 0 unit. The program path is
// taken as it is: the caller has already refused one with a 0 unit, and a Windows file name holds no
// double quote.
SystemResult<std::u16string> encode_command_line(const NativeString& program_path,
                                                 const std::vector<NativeString>& arguments);

}  // namespace ostrand
