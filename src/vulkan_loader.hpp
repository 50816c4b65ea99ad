// Portable: the binding to the Vulkan loader library. The library is loaded at run time through
// LoaderApi, its commands are resolved by name into tables of typed slots, and the two counted
// listings that the probe needs are read with Vulkan's two-call protocol.
#pragma once

#ifndef VK_NO_PROTOTYPES
#define VK_NO_PROTOTYPES
#endif
#include <vulkan/vulkan.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <utility>

#include "base/result.hpp"
#include "loader_api.hpp"
#include "report/fatal.hpp"
#include "report/report_api.hpp"

namespace ostrand {

// The command slots, in the order in which they are resolved: (PFN type, slot, Vulkan command). A
// slot is named after its command without the "vk" prefix, in lower case with underscores.
#define OSTRAND_VULKAN_GLOBAL_COMMANDS(X)                                                  \
    X(PFN_vkCreateInstance, create_instance, vkCreateInstance)                             \
    X(PFN_vkEnumerateInstanceExtensionProperties, enumerate_instance_extension_properties, \
      vkEnumerateInstanceExtensionProperties)                                              \
    X(PFN_vkEnumerateInstanceLayerProperties, enumerate_instance_layer_properties,         \
      vkEnumerateInstanceLayerProperties)                                                  \
    X(PFN_vkEnumerateInstanceVersion, enumerate_instance_version, vkEnumerateInstanceVersion)

#define OSTRAND_VULKAN_INSTANCE_COMMANDS(X)                                                                  \
    X(PFN_vkDestroyInstance, destroy_instance, vkDestroyInstance)                                            \
    X(PFN_vkEnumeratePhysicalDevices, enumerate_physical_devices, vkEnumeratePhysicalDevices)                \
    X(PFN_vkGetPhysicalDeviceFeatures, get_physical_device_features, vkGetPhysicalDeviceFeatures)            \
    X(PFN_vkGetPhysicalDeviceFormatProperties, get_physical_device_format_properties,                        \
      vkGetPhysicalDeviceFormatProperties)                                                                   \
    X(PFN_vkGetPhysicalDeviceImageFormatProperties, get_physical_device_image_format_properties,             \
      vkGetPhysicalDeviceImageFormatProperties)                                                              \
    X(PFN_vkGetPhysicalDeviceProperties, get_physical_device_properties, vkGetPhysicalDeviceProperties)      \
    X(PFN_vkGetPhysicalDeviceQueueFamilyProperties, get_physical_device_queue_family_properties,             \
      vkGetPhysicalDeviceQueueFamilyProperties)                                                              \
    X(PFN_vkGetPhysicalDeviceMemoryProperties, get_physical_device_memory_properties,                        \
      vkGetPhysicalDeviceMemoryProperties)                                                                   \
    X(PFN_vkGetDeviceProcAddr, get_device_proc_addr, vkGetDeviceProcAddr)                                    \
    X(PFN_vkCreateDevice, create_device, vkCreateDevice)                                                     \
    X(PFN_vkEnumerateDeviceExtensionProperties, enumerate_device_extension_properties,                       \
      vkEnumerateDeviceExtensionProperties)                                                                  \
    X(PFN_vkEnumerateDeviceLayerProperties, enumerate_device_layer_properties,                               \
      vkEnumerateDeviceLayerProperties)                                                                      \
    X(PFN_vkGetPhysicalDeviceSparseImageFormatProperties,                                                    \
      get_physical_device_sparse_image_format_properties, vkGetPhysicalDeviceSparseImageFormatProperties)    \
    X(PFN_vkEnumeratePhysicalDeviceGroups, enumerate_physical_device_groups,                                 \
      vkEnumeratePhysicalDeviceGroups)                                                                       \
    X(PFN_vkGetPhysicalDeviceFeatures2, get_physical_device_features2, vkGetPhysicalDeviceFeatures2)         \
    X(PFN_vkGetPhysicalDeviceProperties2, get_physical_device_properties2, vkGetPhysicalDeviceProperties2)   \
    X(PFN_vkGetPhysicalDeviceFormatProperties2, get_physical_device_format_properties2,                      \
      vkGetPhysicalDeviceFormatProperties2)                                                                  \
    X(PFN_vkGetPhysicalDeviceImageFormatProperties2, get_physical_device_image_format_properties2,           \
      vkGetPhysicalDeviceImageFormatProperties2)                                                             \
    X(PFN_vkGetPhysicalDeviceQueueFamilyProperties2, get_physical_device_queue_family_properties2,           \
      vkGetPhysicalDeviceQueueFamilyProperties2)                                                             \
    X(PFN_vkGetPhysicalDeviceMemoryProperties2, get_physical_device_memory_properties2,                      \
      vkGetPhysicalDeviceMemoryProperties2)                                                                  \
    X(PFN_vkGetPhysicalDeviceSparseImageFormatProperties2,                                                   \
      get_physical_device_sparse_image_format_properties2, vkGetPhysicalDeviceSparseImageFormatProperties2)  \
    X(PFN_vkGetPhysicalDeviceExternalBufferProperties, get_physical_device_external_buffer_properties,       \
      vkGetPhysicalDeviceExternalBufferProperties)                                                           \
    X(PFN_vkGetPhysicalDeviceExternalFenceProperties, get_physical_device_external_fence_properties,         \
      vkGetPhysicalDeviceExternalFenceProperties)                                                            \
    X(PFN_vkGetPhysicalDeviceExternalSemaphoreProperties, get_physical_device_external_semaphore_properties, \
      vkGetPhysicalDeviceExternalSemaphoreProperties)                                                        \
    X(PFN_vkGetPhysicalDeviceToolProperties, get_physical_device_tool_properties,                            \
      vkGetPhysicalDeviceToolProperties)

#define OSTRAND_VULKAN_SLOT_MEMBER(pfn, slot, command) pfn slot = nullptr;

// The loaded loader library, under a count of holders shared by every copy. FreeLibrary runs when
// the last holder lets go; its result is not looked at, since nothing could be done about it.
class LoaderLibrary {
public:
    LoaderLibrary() = default;
    // Becomes the first holder of `module`, which `api` loaded and will free.
    LoaderLibrary(LoaderApi& api, Module module);
    LoaderLibrary(const LoaderLibrary& other) noexcept;
    LoaderLibrary(LoaderLibrary&& other) noexcept : shared_(std::exchange(other.shared_, nullptr)) {}
    LoaderLibrary& operator=(LoaderLibrary other) noexcept {
        std::swap(shared_, other.shared_);
        return *this;
    }
    ~LoaderLibrary() { reset(); }

    // Lets go of this holder; the library stays loaded while other holders remain.
    void reset() noexcept;
    Module module() const;
    bool holds() const { return shared_ != nullptr; }

private:
    struct Shared;
    Shared* shared_ = nullptr;
};

// What a successful load yields. Releasing it lets go of its holder of the library, and nothing else.
struct VulkanGlobalTable {
    LoaderLibrary library;
    PFN_vkGetInstanceProcAddr get_instance_proc_addr = nullptr;
    OSTRAND_VULKAN_GLOBAL_COMMANDS(OSTRAND_VULKAN_SLOT_MEMBER)
};

// The commands of one instance. It holds no reference to the library: its slots may be called only
// while a VulkanGlobalTable of the same load is alive. Nothing here ever destroys the instance.
struct VulkanInstanceTable {
    VkInstance instance = VK_NULL_HANDLE;
    OSTRAND_VULKAN_INSTANCE_COMMANDS(OSTRAND_VULKAN_SLOT_MEMBER)
};

#undef OSTRAND_VULKAN_SLOT_MEMBER

enum class LoaderLoadFailureKind : std::uint8_t {
    LibraryNotLoaded,
    LibraryNotLoadedNoCode,
    EntryPointMissing,
};

struct LoaderLoadFailure {
    LoaderLoadFailureKind kind = LoaderLoadFailureKind::LibraryNotLoadedNoCode;
    // The GetLastError code of a failed load; 0 for the other kinds.
    std::uint32_t code = 0;

    static LoaderLoadFailure library_not_loaded(std::uint32_t code) {
        return {LoaderLoadFailureKind::LibraryNotLoaded, code};
    }
    static LoaderLoadFailure library_not_loaded_no_code() {
        return {LoaderLoadFailureKind::LibraryNotLoadedNoCode, 0};
    }
    static LoaderLoadFailure entry_point_missing() { return {LoaderLoadFailureKind::EntryPointMissing, 0}; }

    friend bool operator==(const LoaderLoadFailure&, const LoaderLoadFailure&) = default;
};

Result<VulkanGlobalTable, LoaderLoadFailure> load_vulkan_loader(LoaderApi& api);

// Every member set: no application info, no layers, no instance extensions.
inline constexpr VkInstanceCreateInfo bare_instance_info{
    .sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO,
    .pNext = nullptr,
    .flags = 0,
    .pApplicationInfo = nullptr,
    .enabledLayerCount = 0,
    .ppEnabledLayerNames = nullptr,
    .enabledExtensionCount = 0,
    .ppEnabledExtensionNames = nullptr,
};

// Returns the new instance's table, or what vkCreateInstance answered when that was not VK_SUCCESS.
// `info` and `allocator` are passed to it unchanged.
Result<VulkanInstanceTable, VkResult> create_vulkan_instance(const VulkanGlobalTable& global,
                                                             const VkInstanceCreateInfo& info,
                                                             const VkAllocationCallbacks* allocator);

// The elements that a counted listing gave, in the order it gave them. Owns its storage.
template <typename T>
class CountedArray {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

public:
    CountedArray(CountedArray&& other) noexcept
        : storage_(std::exchange(other.storage_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    CountedArray& operator=(CountedArray&& other) noexcept {
        std::swap(storage_, other.storage_);
        std::swap(size_, other.size_);
        return *this;
    }
    ~CountedArray() {
        if (storage_ != no_storage()) {
            ::operator delete(storage_);
        }
    }

    std::span<const T> elements() const { return {storage_, size_}; }

    // Storage for `capacity` elements, none of them counted yet. Ends the process through
    // out_of_memory when the memory cannot be had.
    static CountedArray with_capacity(std::uint32_t capacity) {
        if (capacity == 0) {
            return CountedArray(no_storage());
        }
        const std::uint64_t bytes = std::uint64_t{capacity} * sizeof(T);
        void* storage = ::operator new(static_cast<std::size_t>(bytes), std::nothrow);
        if (storage == nullptr) {
            out_of_memory(process_report_api(), static_cast<std::size_t>(bytes));
        }
        return CountedArray(static_cast<T*>(storage));
    }
    T* data() { return storage_; }
    void set_size(std::uint32_t size) { size_ = size; }

private:
    explicit CountedArray(T* storage) : storage_(storage) {}

    // A listing of no elements still gets a non-NULL array pointer, so that the call that fills it is
    // not taken for a count call; the pointer is suitably aligned and points at nothing.
    static T* no_storage() { return reinterpret_cast<T*>(alignof(T)); }

    T* storage_ = nullptr;
    std::uint32_t size_ = 0;
};

// Loaders have been seen answering VK_INCOMPLETE to every fill call; after this many in a row the
// listing gives up with VK_INCOMPLETE instead of asking forever.
inline constexpr int counted_listing_incomplete_limit = 64;

// Vulkan's two-call protocol: `enumerate(&count, NULL)` asks for the count, `enumerate(&count, array)`
// fills the array. A listing that grew in between (VK_INCOMPLETE) is read again from the start. Any
// other answer but VK_SUCCESS is returned as the failure.
template <typename T, typename Enumerate>
Result<CountedArray<T>, VkResult> read_counted_array(Enumerate&& enumerate) {
    for (int incomplete = 0;;) {
        std::uint32_t count = 0;
        VkResult result = enumerate(&count, static_cast<T*>(nullptr));
        if (result != VK_SUCCESS) {
            return Failure{result};
        }
        CountedArray<T> array = CountedArray<T>::with_capacity(count);
        const std::uint32_t capacity = count;
        result = enumerate(&count, array.data());
        if (result == VK_SUCCESS) {
            // A conforming call writes back at most the count it was given. A larger one is clamped
            // rather than failed: every element inside the storage was written by the call, while
            // failing would invent a VkResult that the loader never gave.
            array.set_size(std::min(count, capacity));
            return array;
        }
        if (result != VK_INCOMPLETE) {
            return Failure{result};
        }
        if (++incomplete == counted_listing_incomplete_limit) {
            return Failure{VK_INCOMPLETE};
        }
    }
}

Result<CountedArray<VkPhysicalDevice>, VkResult> list_physical_devices(const VulkanInstanceTable& instance);

// The device's own extensions: no layer is named.
Result<CountedArray<VkExtensionProperties>, VkResult> list_device_extensions(
    const VulkanInstanceTable& instance, VkPhysicalDevice device);

}  // namespace ostrand
