// Host binding of LoaderApi for builds that do not target Windows: the dynamic linker loads the
// system's Vulkan loader in place of "vulkan-1.dll". There is no error mode to set, so the thread's
// mode is only remembered, and dlerror's text is replaced by the Windows codes of the two failures.
#include "host/loader_api_host.hpp"

#include <dlfcn.h>

#include <string_view>

namespace ostrand {
namespace {

struct HostLoaderApi final : LoaderApi {
    bool set_thread_error_mode(std::uint32_t mode, std::uint32_t* previous) override {
        if (previous != nullptr) {
            *previous = error_mode_;
        }
        error_mode_ = mode;
        return true;
    }

    Module load_library_ex_w(const char16_t* name, Handle, std::uint32_t) override {
        if (std::u16string_view(name) != u"vulkan-1.dll") {
            last_error_ = error_mod_not_found;
            return nullptr;
        }
        void* module = ::dlopen("libvulkan.so.1", RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            last_error_ = error_mod_not_found;
        }
        return module;
    }

    ProcAddress get_proc_address(Module module, const char* name) override {
        void* const symbol = ::dlsym(module, name);
        if (symbol == nullptr) {
            last_error_ = error_proc_not_found;
        }
        // POSIX guarantees that a dlsym result converts to the function pointer it names.
        return reinterpret_cast<ProcAddress>(symbol);
    }

    bool free_library(Module module) override { return ::dlclose(module) == 0; }

    void set_last_error(std::uint32_t code) override { last_error_ = code; }
    std::uint32_t get_last_error() override { return last_error_; }

    // Per thread, as the system keeps them on Windows.
    static thread_local std::uint32_t error_mode_;
    static thread_local std::uint32_t last_error_;
};

thread_local std::uint32_t HostLoaderApi::error_mode_ = 0;
thread_local std::uint32_t HostLoaderApi::last_error_ = 0;

}  // namespace

LoaderApi& host_loader_api() {
    static HostLoaderApi api;
    return api;
}

}  // namespace ostrand
