// Portable: the system queries that several system interfaces share, each declared once.
#pragma once

#include <cstdint>

#include "base/system_types.hpp"

namespace ostrand {

// The calling thread's last-error value: read after a failed call, cleared by the buffer rule.
struct LastErrorApi {
    virtual ~LastErrorApi() = default;
    virtual void set_last_error(std::uint32_t code) = 0;
    virtual std::uint32_t get_last_error() = 0;
};

// GetStdHandle, asked by the standard-error writer and by a child start.
struct StdHandleApi {
    virtual ~StdHandleApi() = default;
    virtual Handle get_std_handle(std::uint32_t which) = 0;
};

}  // namespace ostrand
