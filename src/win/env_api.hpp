// Portable: the system operations behind the child's environment block.
#pragma once

#include <cstdint>

#include "base/shared_api.hpp"

namespace ostrand {

// What CompareStringOrdinal answers; anything else is a failure.
inline constexpr int cstr_less_than = 1;
inline constexpr int cstr_equal = 2;
inline constexpr int cstr_greater_than = 3;

struct EnvApi : virtual LastErrorApi {
    // The process's environment block (strings ended by 0, the block by an empty string); null on failure.
    virtual char16_t* get_environment_strings_w() = 0;
    virtual bool free_environment_strings_w(char16_t* block) = 0;
    virtual int compare_string_ordinal(const char16_t* a, int a_count, const char16_t* b, int b_count,
                                       bool ignore_case) = 0;
};

}  // namespace ostrand
