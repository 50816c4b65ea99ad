// Portable: the system operations behind loading the Vulkan loader library.
#pragma once

#include <cstdint>

#include "base/shared_api.hpp"

namespace ostrand {

using ProcAddress = void (*)();

struct LoaderApi : virtual LastErrorApi {
    virtual bool set_thread_error_mode(std::uint32_t mode, std::uint32_t* previous) = 0;
    virtual Module load_library_ex_w(const char16_t* name, Handle file, std::uint32_t flags) = 0;
    virtual ProcAddress get_proc_address(Module module, const char* name) = 0;
    virtual bool free_library(Module module) = 0;
};

}  // namespace ostrand
