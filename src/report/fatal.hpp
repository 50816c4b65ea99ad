// Portable: the fatal failure that ends a run, and the ends that cannot wait for it to travel up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "report/report_api.hpp"
#include "report/source_location.hpp"
#include "report/system_error.hpp"

namespace ostrand {

inline constexpr int fatal_exit_status = 101;

// The form in which the error follows the message on the report's message line.
enum class ErrorForm : std::uint8_t { Detailed, Short };

// The one exception of the program, carrying what its report needs. The process entry catches it,
// writes the report and returns 101; everything between is released by its owner on the way.
struct FatalFailure {
    std::string message;
    std::optional<SystemError> error;
    ErrorForm form = ErrorForm::Detailed;
    SourceLocation where;
};

// Throws FatalFailure, with the position of the check that failed.
[[noreturn]] void fatal(std::string message, std::optional<SystemError> error = std::nullopt,
                        ErrorForm form = ErrorForm::Detailed,
                        SourceLocation where = SourceLocation::current());

// A line feed, the header line, then the message and, with an error, ": " and the error in its form.
void write_fatal_report(ReportApi& api, const FatalFailure& failure);

// For a failure that cannot be passed through its caller: the report, a second report whose message
// `why` says why it cannot travel up, the aborting line, then abort_process. Nothing is released.
[[noreturn]] void fatal_unrecoverable(ReportApi& api, std::string_view message, std::string_view why,
                                      SourceLocation where = SourceLocation::current());

[[noreturn]] void abort_process(ReportApi& api);

// "memory allocation of N bytes failed", then abort_process.
[[noreturn]] void out_of_memory(ReportApi& api, std::size_t size);

}  // namespace ostrand
