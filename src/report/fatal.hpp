// Portable: the fatal failures that end a run, and the end after exhausted memory.
#pragma once

#include <cstddef>
#include <optional>
#include "report/source_location.hpp"
#include <string_view>

#include "report/report_api.hpp"
#include "report/system_error.hpp"

namespace ostrand {

// The one exception of the program. Thrown after the report has been written; caught only by the
// process entry, which then returns 101. Everything between is released by its owner on the way.
struct FatalFailure {};

inline constexpr int fatal_exit_status = 101;
inline constexpr std::uint32_t fast_fail_fatal_app_exit = 7;

// Writes the report and throws FatalFailure.
[[noreturn]] void fatal(ReportApi& api, std::string_view message,
                        std::optional<SystemError> error = std::nullopt,
                        SourceLocation where = SourceLocation::current());

// For a failure that cannot be passed through its caller: the report, a second report saying so,
// the aborting line, then abort_process. Nothing is released.
[[noreturn]] void fatal_unrecoverable(ReportApi& api, std::string_view message,
                                      SourceLocation where = SourceLocation::current());

[[noreturn]] void abort_process(ReportApi& api);

// "memory allocation of N bytes failed", then abort_process.
[[noreturn]] void out_of_memory(ReportApi& api, std::size_t size);

}  // namespace ostrand
