// Portable: the system operations behind the child's environment block.
#pragma once

#include <cstdint>

#include "base/shared_api.hpp"

namespace ostrand {

struct EnvApi : virtual LastErrorApi {
    // The process's environment block (strings ended by 0, the block by an empty string); null on failure.
    virtual char16_t* get_environment_strings_w() = 0;
    virtual bool free_environment_strings_w(char16_t* block) = 0;
    // CompareStringOrdinal: cstr_less_than, cstr_equal or cstr_greater_than; anything else a failure.
    virtual int compare_string_ordinal(const char16_t* a, int a_count, const char16_t* b, int b_count,
                                       bool ignore_case) = 0;
};

}  // namespace ostrand
