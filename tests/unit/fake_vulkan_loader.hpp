// A fake Vulkan loader behind the kernel32 fake: the library that the fake LoadLibraryExW loads hands
// out, through its vkGetInstanceProcAddr, fake commands whose answers each test scripts, and every
// command stands in the same log as the system calls. Vulkan calls plain function pointers, so the
// commands reach the scenario through FakeLoader::current.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fake_kernel32.hpp"
#include "vulkan_loader.hpp"

namespace ostrand::testing {

// What one call of a listing answers, where it departs from the protocol.
template <typename T>
struct ListingStep {
    std::optional<VkResult> result{};
    std::optional<std::uint32_t> written_count{};
    // Replaces the listing's items before this call is answered: the list changes between two calls.
    std::optional<std::vector<T>> items_before{};
};

// A script in which `times` fill calls in a row answer VK_INCOMPLETE.
template <typename T>
std::deque<ListingStep<T>> incomplete_fills(int times) {
    std::deque<ListingStep<T>> script;
    for (int i = 0; i < times; ++i) {
        script.push_back({});
        script.push_back({.result = VK_INCOMPLETE});
    }
    return script;
}

// One two-call listing. Without a script it follows the protocol over `items`: the count call gives
// their number, a fill call writes as many as fit and answers VK_INCOMPLETE when some did not.
template <typename T>
struct FakeListing {
    using Step = ListingStep<T>;

    std::vector<T> items;
    std::deque<Step> script;  // one step per call, count and fill calls alike
    std::optional<VkResult> every_fill_result;

    int count_calls = 0;
    int fill_calls = 0;
    std::vector<std::uint32_t> fill_capacities;
    bool fill_array_misplaced = false;  // a fill call got a NULL or misaligned array

    // Guards the test against a reader that never stops asking.
    static constexpr int call_limit = 1000;

    VkResult answer(std::uint32_t* count, T* array) {
        if (count_calls + fill_calls >= call_limit) {
            ADD_FAILURE() << "the listing was asked more than " << call_limit << " times";
            return VK_ERROR_UNKNOWN;
        }
        Step step;
        if (!script.empty()) {
            step = script.front();
            script.pop_front();
        }
        if (step.items_before) {
            items = *step.items_before;
        }
        if (array == nullptr) {
            ++count_calls;
            *count = step.written_count.value_or(static_cast<std::uint32_t>(items.size()));
            return step.result.value_or(VK_SUCCESS);
        }
        ++fill_calls;
        fill_capacities.push_back(*count);
        if (reinterpret_cast<std::uintptr_t>(array) % alignof(T) != 0) {
            fill_array_misplaced = true;
        }
        const std::size_t written = std::min<std::size_t>(*count, items.size());
        std::copy_n(items.begin(), written, array);
        *count = step.written_count.value_or(static_cast<std::uint32_t>(written));
        const VkResult protocol = written < items.size() ? VK_INCOMPLETE : VK_SUCCESS;
        return step.result.value_or(every_fill_result.value_or(protocol));
    }
};

inline VkPhysicalDevice fake_device(int index) {
    return reinterpret_cast<VkPhysicalDevice>(static_cast<std::uintptr_t>(0xd000 + 0x10 * index));
}

inline VkExtensionProperties extension(std::string_view name, std::uint32_t spec_version = 1) {
    VkExtensionProperties properties{};
    std::memcpy(properties.extensionName, name.data(),
                std::min<std::size_t>(name.size(), VK_MAX_EXTENSION_NAME_SIZE));
    properties.specVersion = spec_version;
    return properties;
}

inline const VkInstance fake_instance = reinterpret_cast<VkInstance>(std::uintptr_t{0x1e57});

inline const std::set<std::string> global_command_names = {
    "vkCreateInstance", "vkEnumerateInstanceExtensionProperties", "vkEnumerateInstanceLayerProperties",
    "vkEnumerateInstanceVersion"};

struct FakeLoader;

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL fake_get_instance_proc_addr(VkInstance instance, const char* name);

struct FakeLoader final : FakeKernel32 {
    static inline FakeLoader* current = nullptr;

    FakeLoader() {
        current = this;
        log_last_error_reads = true;
        entry_point = reinterpret_cast<ProcAddress>(&fake_get_instance_proc_addr);
    }
    ~FakeLoader() override { current = nullptr; }

    // Vulkan side.
    std::set<std::string> missing;
    std::vector<std::pair<VkInstance, std::string>> lookups;
    std::map<std::string, PFN_vkVoidFunction> answered;

    VkResult create_result = VK_SUCCESS;
    int create_calls = 0;
    std::optional<VkInstanceCreateInfo> create_info;
    const VkInstanceCreateInfo* create_info_address = nullptr;
    const VkAllocationCallbacks* create_allocator = nullptr;
    VkInstance handle_before_create = fake_instance;
    int destroy_calls = 0;

    FakeListing<VkPhysicalDevice> devices;
    std::vector<VkInstance> device_listing_instances;
    std::map<VkPhysicalDevice, FakeListing<VkExtensionProperties>> extensions;
    std::vector<VkPhysicalDevice> extension_count_calls;  // the device of each count call, in order
    bool layer_name_given = false;

    int count_calls_of(VkPhysicalDevice device) const {
        return static_cast<int>(
            std::count(extension_count_calls.begin(), extension_count_calls.end(), device));
    }
};

inline VKAPI_ATTR VkResult VKAPI_CALL fake_create_instance(const VkInstanceCreateInfo* info,
                                                           const VkAllocationCallbacks* allocator,
                                                           VkInstance* instance) {
    FakeLoader& fake = *FakeLoader::current;
    fake.log("vkCreateInstance");
    ++fake.create_calls;
    fake.create_info = *info;
    fake.create_info_address = info;
    fake.create_allocator = allocator;
    fake.handle_before_create = *instance;
    if (fake.create_result == VK_SUCCESS) {
        *instance = fake_instance;
    }
    return fake.create_result;
}

inline VKAPI_ATTR void VKAPI_CALL fake_destroy_instance(VkInstance, const VkAllocationCallbacks*) {
    FakeLoader::current->log("vkDestroyInstance");
    ++FakeLoader::current->destroy_calls;
}

inline VKAPI_ATTR VkResult VKAPI_CALL fake_enumerate_physical_devices(VkInstance instance,
                                                                      std::uint32_t* count,
                                                                      VkPhysicalDevice* devices) {
    FakeLoader& fake = *FakeLoader::current;
    fake.log("vkEnumeratePhysicalDevices");
    fake.device_listing_instances.push_back(instance);
    return fake.devices.answer(count, devices);
}

inline VKAPI_ATTR VkResult VKAPI_CALL fake_enumerate_device_extension_properties(
    VkPhysicalDevice device, const char* layer, std::uint32_t* count, VkExtensionProperties* extensions) {
    FakeLoader& fake = *FakeLoader::current;
    fake.log("vkEnumerateDeviceExtensionProperties");
    fake.layer_name_given = fake.layer_name_given || layer != nullptr;
    if (extensions == nullptr) {
        fake.extension_count_calls.push_back(device);
    }
    return fake.extensions[device].answer(count, extensions);
}

// Distinct addresses for the commands that no test calls, so that a test can tell the slots apart.
template <int N>
VKAPI_ATTR void VKAPI_CALL uncalled_command() {
    static volatile int tag = N;
    tag = tag + 1;
}

template <int... N>
constexpr std::array<PFN_vkVoidFunction, sizeof...(N)> uncalled_commands(std::integer_sequence<int, N...>) {
    return {&uncalled_command<N>...};
}

// Global commands for a NULL instance, instance commands for the instance it created, NULL for the
// rest and for the names a test marked missing.
inline VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL fake_get_instance_proc_addr(VkInstance instance,
                                                                            const char* name) {
    static constexpr auto others = uncalled_commands(std::make_integer_sequence<int, 32>{});
    FakeLoader& fake = *FakeLoader::current;
    const std::string command = name;
    fake.lookups.emplace_back(instance, command);
    const bool global = global_command_names.contains(command);
    if (fake.missing.contains(command) || (instance == VK_NULL_HANDLE) != global ||
        (instance != VK_NULL_HANDLE && instance != fake_instance)) {
        return nullptr;
    }
    PFN_vkVoidFunction answer = nullptr;
    if (command == "vkCreateInstance") {
        answer = reinterpret_cast<PFN_vkVoidFunction>(&fake_create_instance);
    } else if (command == "vkDestroyInstance") {
        answer = reinterpret_cast<PFN_vkVoidFunction>(&fake_destroy_instance);
    } else if (command == "vkEnumeratePhysicalDevices") {
        answer = reinterpret_cast<PFN_vkVoidFunction>(&fake_enumerate_physical_devices);
    } else if (command == "vkEnumerateDeviceExtensionProperties") {
        answer = reinterpret_cast<PFN_vkVoidFunction>(&fake_enumerate_device_extension_properties);
    } else {
        answer = others.at(fake.answered.size() % others.size());
    }
    fake.answered[command] = answer;
    return answer;
}

}  // namespace ostrand::testing
