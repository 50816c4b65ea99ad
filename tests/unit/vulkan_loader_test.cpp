#include "vulkan_loader.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "fake_vulkan_loader.hpp"

namespace ostrand {
namespace {

using testing::fake_device;
using testing::fake_instance;
using testing::fake_module;
using testing::FakeListing;
using testing::FakeLoader;

constexpr std::uint32_t sem_nogpfaulterrorbox = 0x0002;
constexpr std::uint32_t sem_noopenfileerrorbox = 0x8000;

const std::string set_mode_for_load = "SetThreadErrorMode(1, &previous)";
const std::string load = "LoadLibraryExW";
const std::string read_error = "GetLastError";
const std::string look_up_entry = "GetProcAddress(vkGetInstanceProcAddr)";

std::string restore_mode(std::uint32_t mode) {
    return "SetThreadErrorMode(" + std::to_string(mode) + ", NULL)";
}

TEST(LoadVulkanLoader, LoadsOnlyFromTheApplicationDirectoryAndSystem32) {
    FakeLoader fake;
    const auto table = load_vulkan_loader(fake);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(fake.loaded_name, u"vulkan-1.dll");
    EXPECT_EQ(fake.load_file, nullptr);
    EXPECT_EQ(fake.load_flags, 0xA00u);  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
    EXPECT_EQ(table->library.module(), fake_module);
    EXPECT_EQ(table->get_instance_proc_addr, &testing::fake_get_instance_proc_addr);
    EXPECT_TRUE(fake.freed.empty());
}

TEST(LoadVulkanLoader, ThreadErrorModeAroundTheLoad) {
    struct Case {
        const char* name;
        std::uint32_t previous;
        bool set_fails;
        bool load_fails;
        std::vector<std::string> log;
        std::uint32_t during_load;
    };
    constexpr std::uint32_t three_flags =
        sem_failcriticalerrors | sem_nogpfaulterrorbox | sem_noopenfileerrorbox;
    // clang-format off
    const Case cases[] = {
        {"no flags before", 0, false, false, {set_mode_for_load, load, restore_mode(0), look_up_entry}, 1},
        {"no flags before, load fails", 0, false, true,
         {set_mode_for_load, load, read_error, restore_mode(0)}, 1},
        {"exactly the flag before: not restored", 1, false, false,
         {set_mode_for_load, load, look_up_entry}, 1},
        {"exactly the flag before, load fails", 1, false, true, {set_mode_for_load, load, read_error}, 1},
        {"more flags before: the flag alone during the load", three_flags, false, false,
         {set_mode_for_load, load, restore_mode(0x8003), look_up_entry}, 1},
        {"more flags before, load fails", three_flags, false, true,
         {set_mode_for_load, load, read_error, restore_mode(0x8003)}, 1},
        {"other flags without it before", sem_nogpfaulterrorbox, false, false,
         {set_mode_for_load, load, restore_mode(2), look_up_entry}, 1},
        {"setting fails: nothing to restore", 0x8000, true, false,
         {set_mode_for_load, load, look_up_entry}, 0x8000},
        {"setting fails, load fails", 0, true, true, {set_mode_for_load, load, read_error}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLoader fake;
        fake.thread_mode = c.previous;
        fake.set_mode_fails = c.set_fails;
        fake.load_fails = c.load_fails;
        const auto table = load_vulkan_loader(fake);
        EXPECT_EQ(table.has_value(), !c.load_fails);
        EXPECT_EQ(fake.events, c.log);
        EXPECT_EQ(fake.mode_during_load, c.during_load);
        EXPECT_EQ(fake.thread_mode, c.previous);
    }
}

TEST(LoadVulkanLoader, Failures) {
    // Each failure spelled out, not made by the factory under test.
    // clang-format off
    struct Case {
        const char* name;
        void (*arrange)(FakeLoader&);
        LoaderLoadFailure failure;
    } cases[] = {
        {"library missing", [](FakeLoader& f) { f.load_fails = true; },
         LoaderLoadFailure{LoaderLoadFailureKind::LibraryNotLoaded, 126}},
        // The restore of the mode clears the fake's last error: the code must have been read before it.
        {"code read before the mode is restored",
         [](FakeLoader& f) {
             f.load_fails = true;
             f.load_error = 193;  // ERROR_BAD_EXE_FORMAT
             f.thread_mode = sem_nogpfaulterrorbox;
         },
         LoaderLoadFailure{LoaderLoadFailureKind::LibraryNotLoaded, 193}},
        {"load fails without a code", [](FakeLoader& f) { f.load_fails = true; f.load_error = 0; },
         LoaderLoadFailure{LoaderLoadFailureKind::LibraryNotLoadedNoCode, 0}},
        {"no vkGetInstanceProcAddr", [](FakeLoader& f) { f.entry_point = nullptr; },
         LoaderLoadFailure{LoaderLoadFailureKind::EntryPointMissing, 0}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLoader fake;
        c.arrange(fake);
        const auto table = load_vulkan_loader(fake);
        ASSERT_FALSE(table.has_value());
        EXPECT_EQ(table.error(), c.failure);
        EXPECT_TRUE(fake.lookups.empty());
        // Freed by the time the failure is in the caller's hands, and only a loaded library.
        const bool loaded = !fake.load_fails;
        EXPECT_EQ(fake.freed, loaded ? std::vector<Module>{fake_module} : std::vector<Module>{});
        if (loaded) {
            EXPECT_EQ(fake.events.back(), "FreeLibrary");
        }
    }
}

TEST(LoadVulkanLoader, ReleasingTheTableFreesTheLibraryOnce) {
    FakeLoader fake;
    {
        auto table = load_vulkan_loader(fake);
        ASSERT_TRUE(table.has_value());
        const VulkanGlobalTable copy = *table;
        table = Failure{LoaderLoadFailure::entry_point_missing()};
        EXPECT_TRUE(fake.freed.empty()) << "the copy still holds the library";
    }
    EXPECT_EQ(fake.freed, std::vector<Module>{fake_module});
}

TEST(LoaderLibrary, LastHolderFrees) {
    FakeLoader fake;
    std::optional<LoaderLibrary> first(std::in_place, fake, fake_module);
    LoaderLibrary second = *first;
    LoaderLibrary moved = std::move(second);
    EXPECT_FALSE(second.holds());
    EXPECT_EQ(moved.module(), fake_module);
    second.reset();
    first.reset();
    EXPECT_TRUE(fake.freed.empty());
    LoaderLibrary third = moved;
    moved.reset();
    moved.reset();
    EXPECT_TRUE(fake.freed.empty());
    third = LoaderLibrary();
    EXPECT_EQ(fake.freed, std::vector<Module>{fake_module});
}

// Every command slot, in resolution order, as its command is named and as its stub reports it.
template <typename R, typename... Args>
void call_with_zeros(R(VKAPI_PTR* command)(Args...)) {
    command(Args{}...);
}

struct Tables {
    VulkanGlobalTable global;
    std::optional<VulkanInstanceTable> instance;
};

struct Slot {
    const char* command;
    const char* name;
    bool global;
    PFN_vkVoidFunction (*address)(const Tables&);
    void (*call)(const Tables&);
};

// `access` reaches the table that holds the slot: "global." or "instance->".
#define SLOT(global, access, slot, command)                                                   \
    Slot {                                                                                    \
#command, #slot, global,                                                                    \
            [](const Tables& t) { return reinterpret_cast<PFN_vkVoidFunction>(t.access slot); }, \
            [](const Tables& t) { call_with_zeros(t.access slot); } \
    }
#define GLOBAL_SLOT(slot, command) SLOT(true, global., slot, command)
#define INSTANCE_SLOT(slot, command) SLOT(false, instance->, slot, command)

const Slot slots[] = {
    GLOBAL_SLOT(create_instance, vkCreateInstance),
    GLOBAL_SLOT(enumerate_instance_extension_properties, vkEnumerateInstanceExtensionProperties),
    GLOBAL_SLOT(enumerate_instance_layer_properties, vkEnumerateInstanceLayerProperties),
    GLOBAL_SLOT(enumerate_instance_version, vkEnumerateInstanceVersion),
    INSTANCE_SLOT(destroy_instance, vkDestroyInstance),
    INSTANCE_SLOT(enumerate_physical_devices, vkEnumeratePhysicalDevices),
    INSTANCE_SLOT(get_physical_device_features, vkGetPhysicalDeviceFeatures),
    INSTANCE_SLOT(get_physical_device_format_properties, vkGetPhysicalDeviceFormatProperties),
    INSTANCE_SLOT(get_physical_device_image_format_properties, vkGetPhysicalDeviceImageFormatProperties),
    INSTANCE_SLOT(get_physical_device_properties, vkGetPhysicalDeviceProperties),
    INSTANCE_SLOT(get_physical_device_queue_family_properties, vkGetPhysicalDeviceQueueFamilyProperties),
    INSTANCE_SLOT(get_physical_device_memory_properties, vkGetPhysicalDeviceMemoryProperties),
    INSTANCE_SLOT(get_device_proc_addr, vkGetDeviceProcAddr),
    INSTANCE_SLOT(create_device, vkCreateDevice),
    INSTANCE_SLOT(enumerate_device_extension_properties, vkEnumerateDeviceExtensionProperties),
    INSTANCE_SLOT(enumerate_device_layer_properties, vkEnumerateDeviceLayerProperties),
    INSTANCE_SLOT(get_physical_device_sparse_image_format_properties,
                  vkGetPhysicalDeviceSparseImageFormatProperties),
    INSTANCE_SLOT(enumerate_physical_device_groups, vkEnumeratePhysicalDeviceGroups),
    INSTANCE_SLOT(get_physical_device_features2, vkGetPhysicalDeviceFeatures2),
    INSTANCE_SLOT(get_physical_device_properties2, vkGetPhysicalDeviceProperties2),
    INSTANCE_SLOT(get_physical_device_format_properties2, vkGetPhysicalDeviceFormatProperties2),
    INSTANCE_SLOT(get_physical_device_image_format_properties2, vkGetPhysicalDeviceImageFormatProperties2),
    INSTANCE_SLOT(get_physical_device_queue_family_properties2, vkGetPhysicalDeviceQueueFamilyProperties2),
    INSTANCE_SLOT(get_physical_device_memory_properties2, vkGetPhysicalDeviceMemoryProperties2),
    INSTANCE_SLOT(get_physical_device_sparse_image_format_properties2,
                  vkGetPhysicalDeviceSparseImageFormatProperties2),
    INSTANCE_SLOT(get_physical_device_external_buffer_properties,
                  vkGetPhysicalDeviceExternalBufferProperties),
    INSTANCE_SLOT(get_physical_device_external_fence_properties, vkGetPhysicalDeviceExternalFenceProperties),
    INSTANCE_SLOT(get_physical_device_external_semaphore_properties,
                  vkGetPhysicalDeviceExternalSemaphoreProperties),
    INSTANCE_SLOT(get_physical_device_tool_properties, vkGetPhysicalDeviceToolProperties),
};

#undef GLOBAL_SLOT
#undef INSTANCE_SLOT
#undef SLOT

Tables load_and_create(FakeLoader& fake) {
    auto global = load_vulkan_loader(fake);
    if (!global) {
        ADD_FAILURE() << "the fake loader did not load";
        std::abort();
    }
    Tables tables{std::move(global).value(), std::nullopt};
    if (!fake.missing.contains("vkCreateInstance")) {
        auto instance = create_vulkan_instance(tables.global, bare_instance_info, nullptr);
        if (instance) {
            tables.instance = *instance;
        }
    }
    return tables;
}

TEST(CommandSlots, ResolvedInOrderWithTheRightInstance) {
    FakeLoader fake;
    const Tables tables = load_and_create(fake);
    ASSERT_TRUE(tables.instance.has_value());
    ASSERT_EQ(fake.lookups.size(), std::size(slots));
    for (std::size_t i = 0; i < std::size(slots); ++i) {
        SCOPED_TRACE(slots[i].command);
        EXPECT_EQ(fake.lookups[i].second, slots[i].command);
        EXPECT_EQ(fake.lookups[i].first, slots[i].global ? VK_NULL_HANDLE : fake_instance);
        EXPECT_EQ(slots[i].address(tables), fake.answered.at(slots[i].command));
    }
}

TEST(CommandSlots, Vulkan10LoaderWithoutEnumerateInstanceVersion) {
    FakeLoader fake;
    fake.missing = {"vkEnumerateInstanceVersion"};
    const Tables tables = load_and_create(fake);
    EXPECT_NE(tables.global.enumerate_instance_version, nullptr);
    EXPECT_EQ(tables.global.create_instance,
              reinterpret_cast<PFN_vkCreateInstance>(fake.answered.at("vkCreateInstance")));
    EXPECT_TRUE(tables.instance.has_value());
    EXPECT_TRUE(fake.freed.empty());
}

TEST(CommandSlotsDeathTest, MissingCommandEndsTheProcessWhenCalled) {
    for (const Slot& slot : slots) {
        SCOPED_TRACE(slot.command);
        FakeLoader fake;
        fake.missing = {slot.command};
        const Tables tables = load_and_create(fake);
        ASSERT_TRUE(slot.global || tables.instance.has_value());
        EXPECT_NE(slot.address(tables), nullptr);
        EXPECT_DEATH(slot.call(tables), std::string("\nUnable to load ") + slot.name + "\n");
    }
}

TEST(CreateVulkanInstance, PassesItsArgumentsUnchanged) {
    FakeLoader fake;
    const auto global = load_vulkan_loader(fake);
    ASSERT_TRUE(global.has_value());
    const VkAllocationCallbacks allocator{};
    const auto instance = create_vulkan_instance(*global, bare_instance_info, &allocator);
    ASSERT_TRUE(instance.has_value());
    EXPECT_EQ(instance->instance, fake_instance);
    EXPECT_EQ(fake.handle_before_create, VK_NULL_HANDLE);
    EXPECT_EQ(fake.create_info_address, &bare_instance_info);
    EXPECT_EQ(fake.create_allocator, &allocator);
    EXPECT_EQ(fake.destroy_calls, 0);
}

TEST(CreateVulkanInstance, FailureIsReturnedUnchanged) {
    for (const VkResult result : {VK_ERROR_INCOMPATIBLE_DRIVER, VK_ERROR_INITIALIZATION_FAILED, VK_INCOMPLETE,
                                  VK_ERROR_LAYER_NOT_PRESENT}) {
        SCOPED_TRACE(result);
        FakeLoader fake;
        fake.create_result = result;
        const auto global = load_vulkan_loader(fake);
        ASSERT_TRUE(global.has_value());
        const auto instance = create_vulkan_instance(*global, bare_instance_info, nullptr);
        ASSERT_FALSE(instance.has_value());
        EXPECT_EQ(instance.error(), result);
        EXPECT_EQ(fake.lookups.size(), 4u) << "no instance command is looked up";
        EXPECT_EQ(fake.destroy_calls, 0);
        EXPECT_TRUE(fake.freed.empty());
    }
}

using Devices = std::vector<VkPhysicalDevice>;
const VkPhysicalDevice a = fake_device(0);
const VkPhysicalDevice b = fake_device(1);
const VkPhysicalDevice c = fake_device(2);

TEST(ReadCountedArray, TwoCallProtocol) {
    using Script = std::deque<testing::ListingStep<VkPhysicalDevice>>;
    const Result<Devices, VkResult> incomplete = Failure{VK_INCOMPLETE};
    struct Case {
        const char* name;
        Devices items;
        Script script;
        std::optional<VkResult> every_fill_result;
        Result<Devices, VkResult> outcome;
        int count_calls;
        int fill_calls;
    };
    // clang-format off
    const Case cases[] = {
        {"plain", {a, b}, {}, {}, Devices{a, b}, 1, 1},
        {"no elements: the fill call is still made", {}, {}, {}, Devices{}, 1, 1},
        {"grew between the calls: read again, last round only", {c},
         {{}, {.items_before = Devices{a, b}}}, {}, Devices{a, b}, 2, 2},
        {"smaller count written back", {a, b}, {{}, {.written_count = 1}}, {}, Devices{a}, 1, 1},
        {"larger count written back: clamped to the storage", {a}, {{}, {.written_count = 7}}, {},
         Devices{a}, 1, 1},
        {"63 VK_INCOMPLETE, then VK_SUCCESS", {a}, testing::incomplete_fills<VkPhysicalDevice>(63), {},
         Devices{a}, 64, 64},
        {"VK_INCOMPLETE for ever: ends after 64 fill calls", {a}, {}, VK_INCOMPLETE, incomplete, 64, 64},
        {"count call VK_INCOMPLETE", {a}, {{.result = VK_INCOMPLETE}}, {}, incomplete, 1, 0},
        {"count call error", {a}, {{.result = VK_ERROR_INITIALIZATION_FAILED}}, {},
         Failure{VK_ERROR_INITIALIZATION_FAILED}, 1, 0},
        {"fill call error", {a}, {{}, {.result = VK_ERROR_OUT_OF_HOST_MEMORY}}, {},
         Failure{VK_ERROR_OUT_OF_HOST_MEMORY}, 1, 1},
        {"fill call with another positive code", {a}, {{}, {.result = VK_NOT_READY}}, {},
         Failure{VK_NOT_READY}, 1, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeListing<VkPhysicalDevice> listing;
        listing.items = c.items;
        listing.script = c.script;
        listing.every_fill_result = c.every_fill_result;
        const auto array = read_counted_array<VkPhysicalDevice>(
            [&](std::uint32_t* count, VkPhysicalDevice* devices) { return listing.answer(count, devices); });
        ASSERT_EQ(array.has_value(), c.outcome.has_value());
        if (array) {
            EXPECT_EQ(Devices(array->elements().begin(), array->elements().end()), *c.outcome);
        } else {
            EXPECT_EQ(array.error(), c.outcome.error());
        }
        EXPECT_EQ(listing.count_calls, c.count_calls);
        EXPECT_EQ(listing.fill_calls, c.fill_calls);
        EXPECT_FALSE(listing.fill_array_misplaced);
    }
}

TEST(ReadCountedArray, FillCallGetsTheCountOfItsStorage) {
    FakeListing<VkExtensionProperties> listing;
    listing.items = {testing::extension("VK_KHR_swapchain")};
    listing.script = {{.written_count = 3}, {}, {}, {}};
    const auto array = read_counted_array<VkExtensionProperties>(
        [&](std::uint32_t* count, VkExtensionProperties* records) { return listing.answer(count, records); });
    ASSERT_TRUE(array.has_value());
    EXPECT_EQ(listing.fill_capacities, std::vector<std::uint32_t>{3});
    ASSERT_EQ(array->elements().size(), 1u);
    EXPECT_STREQ(array->elements()[0].extensionName, "VK_KHR_swapchain");
}

// The children start afresh (threadsafe style) with the sanitizer's allocator answering NULL for a
// request it cannot meet, as the system's allocator does, instead of reporting it as an error.
class ChildrenWhoseAllocationsFail {
public:
    ChildrenWhoseAllocationsFail() {
        const std::string options =
            saved_.value_or("") + ":allocator_may_return_null=1:max_allocation_size_mb=1024";
        ::setenv("ASAN_OPTIONS", options.c_str(), 1);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    ~ChildrenWhoseAllocationsFail() {
        GTEST_FLAG_SET(death_test_style, style_);
        saved_ ? ::setenv("ASAN_OPTIONS", saved_->c_str(), 1) : ::unsetenv("ASAN_OPTIONS");
    }
    ChildrenWhoseAllocationsFail(const ChildrenWhoseAllocationsFail&) = delete;
    ChildrenWhoseAllocationsFail& operator=(const ChildrenWhoseAllocationsFail&) = delete;

private:
    const std::string style_ = GTEST_FLAG_GET(death_test_style);
    const std::optional<std::string> saved_ =
        std::getenv("ASAN_OPTIONS") ? std::optional<std::string>(std::getenv("ASAN_OPTIONS")) : std::nullopt;
};

TEST(ListingDeathTest, ExtensionArrayBeyondMemory) {
    ChildrenWhoseAllocationsFail children;
    FakeLoader fake;
    fake.devices.items = {fake_device(0)};
    fake.extensions[fake_device(0)].script = {{.written_count = 0xFFFFFFFF}};
    const Tables tables = load_and_create(fake);
    ASSERT_TRUE(tables.instance.has_value());
    // 0xFFFFFFFF records of 260 bytes: the product needs 64 bits.
    EXPECT_DEATH(static_cast<void>(list_device_extensions(*tables.instance, fake_device(0))),
                 "\nmemory allocation of 1116691496700 bytes failed\n");
}

TEST(ListingDeathTest, DeviceArrayBeyondMemory) {
#if !defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "32 GiB can be had on some machines; only the sanitizer's allocator refuses it for sure";
#endif
    ChildrenWhoseAllocationsFail children;
    FakeLoader fake;
    fake.devices.script = {{.written_count = 0xFFFFFFFF}};
    const Tables tables = load_and_create(fake);
    ASSERT_TRUE(tables.instance.has_value());
    EXPECT_DEATH(static_cast<void>(list_physical_devices(*tables.instance)),
                 "\nmemory allocation of 34359738360 bytes failed\n");
}

}  // namespace
}  // namespace ostrand
