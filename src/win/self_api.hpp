// Portable: the system operations behind the launcher's own command line and executable path.
#pragma once

#include <cstdint>

#include "base/shared_api.hpp"

namespace ostrand {

struct SelfApi : virtual LastErrorApi {
    // The system-owned, zero-terminated command line; may be null.
    virtual const char16_t* get_command_line_w() = 0;
    virtual std::uint32_t get_module_file_name_w(Module module, char16_t* buffer, std::uint32_t size) = 0;
};

}  // namespace ostrand
