// Portable: every system interface that one run of the launcher uses, passed down from the entry. The
// report writer is not among them: it is reached through process_report_api() alone.
#pragma once

#include "loader_api.hpp"
#include "win/env_api.hpp"
#include "win/process_api.hpp"
#include "win/self_api.hpp"

namespace ostrand {

struct Platform {
    SelfApi& self;
    EnvApi& env;
    ProcessApi& process;
    LoaderApi& loader;
};

// The real platform: kernel32 on Windows. Stateless.
Platform system_platform();

}  // namespace ostrand
