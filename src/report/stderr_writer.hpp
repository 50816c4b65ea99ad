// Portable: writing bytes to the process's standard error handle.
#pragma once

#include <cstddef>
#include <string_view>

#include "report/report_api.hpp"
#include "report/system_error.hpp"

namespace ostrand {

inline constexpr std::size_t console_chunk_bytes = 4096;

// One write: returns how many bytes the handle took. The handle is fetched anew for every request.
SystemResult<std::size_t> write_stderr(ReportApi& api, std::string_view bytes);
// Repeats writes until every byte is written; a write that takes nothing ends it with failure.
SystemResult<void> write_stderr_all(ReportApi& api, std::string_view bytes);

}  // namespace ostrand
