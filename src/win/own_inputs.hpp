// Portable: the launcher's own inputs: its command line, split into arguments, and its executable path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/system_error.hpp"
#include "win/self_api.hpp"
#include "win/strings/native_string.hpp"

namespace ostrand {

// Splits a command line by the rules of the Windows C runtime: the program name without escapes,
// then the arguments with quotes and backslash escapes. At least one element.
std::vector<NativeString> split_command_line(std::u16string_view command_line);

// The full path of the launcher's own executable.
SystemResult<NativeString> executable_path(SelfApi& self);

// The launcher's own arguments as text, program name first. An element that is not valid Unicode
// is a fatal failure.
std::vector<std::string> own_arguments(SelfApi& self);

}  // namespace ostrand
