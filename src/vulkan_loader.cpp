// Portable: loading the Vulkan loader library and resolving its commands, through LoaderApi.
#include "vulkan_loader.hpp"

#include <atomic>
#include <cstddef>
#include <string_view>

namespace ostrand {
namespace {

constexpr char16_t vulkan_loader_name[] = u"vulkan-1.dll";

// Only the application's directory and System32 are searched: a loader planted in the current
// directory or in a PATH directory is never picked up.
constexpr std::uint32_t vulkan_loader_search_flags =
    load_library_search_application_dir | load_library_search_system32;

// A string literal usable as a template argument, so that each stub carries its own message.
template <std::size_t N>
struct FixedText {
    char text[N];
    constexpr FixedText(const char (&literal)[N]) { std::copy_n(literal, N, text); }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

// A missing command was called, in place of a Vulkan command whose caller has no way to receive a
// failure, so the failure cannot travel up: it ends the process where it stands. One function for
// every stub, so that the report's source position (which names its function) is kept once.
[[noreturn]] void missing_command_called(std::string_view message) {
    fatal_unrecoverable(process_report_api(), message,
                        "a fatal failure inside a Vulkan command cannot be passed up to its caller");
}

template <typename Pfn, FixedText Message>
struct MissingCommand;

// Stands in for a command that the loader did not provide.
template <typename R, typename... Args, FixedText Message>
struct MissingCommand<R(VKAPI_PTR*)(Args...), Message> {
    static R VKAPI_CALL call(Args...) { missing_command_called(Message.view()); }
};

template <typename Pfn, FixedText Message>
constexpr Pfn missing_command_stub = &MissingCommand<Pfn, Message>::call;

template <typename Pfn, FixedText Message>
Pfn resolve(PFN_vkGetInstanceProcAddr get_instance_proc_addr, VkInstance instance, const char* name) {
    const PFN_vkVoidFunction found = get_instance_proc_addr(instance, name);
    return found != nullptr ? reinterpret_cast<Pfn>(found) : missing_command_stub<Pfn, Message>;
}

}  // namespace

struct LoaderLibrary::Shared {
    LoaderApi* api;
    Module module;
    std::atomic<std::uint32_t> holders;
};

LoaderLibrary::LoaderLibrary(LoaderApi& api, Module module)
    : shared_(new (std::nothrow) Shared{&api, module, 1}) {
    if (shared_ == nullptr) {
        out_of_memory(process_report_api(), sizeof(Shared));
    }
}

LoaderLibrary::LoaderLibrary(const LoaderLibrary& other) noexcept : shared_(other.shared_) {
    if (shared_ != nullptr) {
        // A new holder comes from an existing one, so the count cannot reach zero meanwhile.
        shared_->holders.fetch_add(1, std::memory_order_relaxed);
    }
}

void LoaderLibrary::reset() noexcept {
    Shared* const shared = std::exchange(shared_, nullptr);
    // acq_rel: every use of the library by other holders happens before the last one frees it.
    if (shared != nullptr && shared->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        static_cast<void>(shared->api->free_library(shared->module));
        delete shared;
    }
}

Module LoaderLibrary::module() const {
    return shared_ != nullptr ? shared_->module : nullptr;
}

Result<VulkanGlobalTable, LoaderLoadFailure> load_vulkan_loader(LoaderApi& api) {
    // With SEM_FAILCRITICALERRORS a load that runs into a critical error (a dependency of the loader
    // that cannot be found or read) fails quietly instead of showing the system's message box. Only
    // this thread's mode changes, and only for the time of the load.
    std::uint32_t previous_mode = 0;
    const bool mode_set = api.set_thread_error_mode(sem_failcriticalerrors, &previous_mode);

    const Module module = api.load_library_ex_w(vulkan_loader_name, nullptr, vulkan_loader_search_flags);
    // Read before the mode is restored: that call may set the last error itself.
    const std::uint32_t load_error = module == nullptr ? api.get_last_error() : 0;

    if (mode_set && previous_mode != sem_failcriticalerrors) {
        static_cast<void>(api.set_thread_error_mode(previous_mode, nullptr));
    }
    if (module == nullptr) {
        return Failure{load_error != 0 ? LoaderLoadFailure::library_not_loaded(load_error)
                                       : LoaderLoadFailure::library_not_loaded_no_code()};
    }

    VulkanGlobalTable table;
    table.library = LoaderLibrary(api, module);
    table.get_instance_proc_addr =
        reinterpret_cast<PFN_vkGetInstanceProcAddr>(api.get_proc_address(module, "vkGetInstanceProcAddr"));
    if (table.get_instance_proc_addr == nullptr) {
        // The look-up's own error says nothing that the failure does not, and is dropped. The table is
        // the library's only holder: the library is freed as this returns.
        static_cast<void>(api.get_last_error());
        return Failure{LoaderLoadFailure::entry_point_missing()};
    }

    // Global commands are the ones vkGetInstanceProcAddr answers for a NULL instance.
#define OSTRAND_RESOLVE_GLOBAL(pfn, slot, command) \
    table.slot =                                   \
        resolve<pfn, "Unable to load " #slot>(table.get_instance_proc_addr, VK_NULL_HANDLE, #command);
    OSTRAND_VULKAN_GLOBAL_COMMANDS(OSTRAND_RESOLVE_GLOBAL)
#undef OSTRAND_RESOLVE_GLOBAL

    return table;
}

Result<VulkanInstanceTable, VkResult> create_vulkan_instance(const VulkanGlobalTable& global,
                                                             const VkInstanceCreateInfo& info,
                                                             const VkAllocationCallbacks* allocator) {
    VkInstance instance = VK_NULL_HANDLE;
    const VkResult result = global.create_instance(&info, allocator, &instance);
    if (result != VK_SUCCESS) {
        return Failure{result};
    }

    VulkanInstanceTable table;
    table.instance = instance;
#define OSTRAND_RESOLVE_INSTANCE(pfn, slot, command) \
    table.slot = resolve<pfn, "Unable to load " #slot>(global.get_instance_proc_addr, instance, #command);
    OSTRAND_VULKAN_INSTANCE_COMMANDS(OSTRAND_RESOLVE_INSTANCE)
#undef OSTRAND_RESOLVE_INSTANCE

    return table;
}

Result<CountedArray<VkPhysicalDevice>, VkResult> list_physical_devices(const VulkanInstanceTable& instance) {
    return read_counted_array<VkPhysicalDevice>([&](std::uint32_t* count, VkPhysicalDevice* devices) {
        return instance.enumerate_physical_devices(instance.instance, count, devices);
    });
}

Result<CountedArray<VkExtensionProperties>, VkResult> list_device_extensions(
    const VulkanInstanceTable& instance, VkPhysicalDevice device) {
    return read_counted_array<VkExtensionProperties>(
        [&](std::uint32_t* count, VkExtensionProperties* extensions) {
            return instance.enumerate_device_extension_properties(device, nullptr, count, extensions);
        });
}

}  // namespace ostrand
