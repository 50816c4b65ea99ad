// What every fake of the system shares: the fakes of the two queries that several system interfaces
// declare through base/, a printer for SystemError and the catch of a fatal failure.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <vector>

#include "../support/unit_text.hpp"
#include "base/shared_api.hpp"
#include "report/fatal.hpp"
#include "report/system_error.hpp"

namespace ostrand {

inline void PrintTo(const SystemError& error, std::ostream* out) {
    if (error.is_os_code()) {
        *out << "os_code(" << error.code() << ")";
    } else {
        *out << kind_name(error.kind()) << " \"" << error.message() << "\"";
    }
}

}  // namespace ostrand

namespace ostrand::testing {

using test_support::show;

inline Handle handle_value(std::uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}

struct FakeLastError : virtual LastErrorApi {
    std::uint32_t last_error = 0;

    void set_last_error(std::uint32_t code) override { last_error = code; }
    std::uint32_t get_last_error() override { return last_error; }
};

// The launcher's standard input, output and error, asked for with -10, -11 and -12.
struct FakeStdHandles : virtual StdHandleApi {
    std::array<Handle, 3> std_handles = {handle_value(0x10), handle_value(0x11), handle_value(0x12)};
    std::vector<std::uint32_t> std_handle_requests;

    Handle get_std_handle(std::uint32_t which) override {
        std_handle_requests.push_back(which);
        const std::uint32_t index = std_input_handle - which;
        EXPECT_LT(index, 3u);
        return index < 3 ? std_handles[index] : nullptr;
    }
};

// The fatal failure that `run` raises; a test failure when it raises none.
template <typename Run>
FatalFailure raised_failure(Run&& run) {
    try {
        run();
    } catch (const FatalFailure& failure) {
        return failure;
    }
    ADD_FAILURE() << "no fatal failure was raised";
    return {};
}

}  // namespace ostrand::testing
