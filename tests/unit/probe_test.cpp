#include "probe.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fake_vulkan_loader.hpp"
#include "host/loader_api_host.hpp"

namespace ostrand {
namespace {

using testing::extension;
using testing::fake_device;
using testing::fake_instance;
using testing::fake_module;
using testing::FakeLoader;
using Extensions = std::vector<VkExtensionProperties>;
using Devices = std::vector<VkPhysicalDevice>;

const VkPhysicalDevice a = fake_device(0);
const VkPhysicalDevice b = fake_device(1);
const VkPhysicalDevice c = fake_device(2);

const Extensions offering = {extension("VK_KHR_swapchain"), extension("VK_EXT_fragment_density_map"),
                             extension("VK_KHR_maintenance1")};
const Extensions lacking = {extension("VK_KHR_swapchain"), extension("VK_EXT_fragment_density_map2")};

// Devices a, b, ... in this order, each with its extensions.
void give_devices(FakeLoader& fake, const std::vector<Extensions>& per_device) {
    fake.devices.items.clear();
    for (std::size_t i = 0; i < per_device.size(); ++i) {
        fake.devices.items.push_back(fake_device(static_cast<int>(i)));
        fake.extensions[fake_device(static_cast<int>(i))].items = per_device[i];
    }
}

Devices listed_64_times_then(VkPhysicalDevice first, VkPhysicalDevice next) {
    Devices listed(64, first);
    listed.push_back(next);
    return listed;
}

struct Case {
    const char* name;
    std::vector<Extensions> devices;  // given as devices a, b, ..., each with its extensions
    void (*arrange)(FakeLoader&);     // anything else the loader does, or nothing
    bool answer;
    Devices listed;  // the device of each extension count call, in order
    void (*verify)(const FakeLoader&) = nullptr;
    bool loaded = true;  // the library was loaded, so it must have been freed
};

// clang-format off
const Case cases[] = {
    // Loading.
    {"no loader library", {offering},
     [](FakeLoader& f) { f.load_fails = true; }, false, {}, nullptr, false},
    {"load fails without a code", {offering},
     [](FakeLoader& f) { f.load_fails = true; f.load_error = 0; }, false, {}, nullptr, false},
    {"no vkGetInstanceProcAddr", {offering},
     [](FakeLoader& f) { f.entry_point = nullptr; }, false, {}},
    {"a Vulkan 1.0 loader without vkEnumerateInstanceVersion", {offering},
     [](FakeLoader& f) { f.missing = {"vkEnumerateInstanceVersion"}; }, true, {a}},
    {"commands that the probe does not call are missing", {offering},
     [](FakeLoader& f) { f.missing = {"vkEnumerateInstanceLayerProperties", "vkDestroyInstance",
                                      "vkGetPhysicalDeviceFeatures2", "vkGetPhysicalDeviceToolProperties"}; },
     true, {a}},

    // vkCreateInstance.
    {"vkCreateInstance VK_ERROR_INCOMPATIBLE_DRIVER", {offering},
     [](FakeLoader& f) { f.create_result = VK_ERROR_INCOMPATIBLE_DRIVER; }, false, {}},
    {"vkCreateInstance VK_INCOMPLETE", {offering},
     [](FakeLoader& f) { f.create_result = VK_INCOMPLETE; }, false, {}},

    // vkEnumeratePhysicalDevices.
    {"device count call VK_INCOMPLETE", {offering},
     [](FakeLoader& f) { f.devices.script = {{.result = VK_INCOMPLETE}}; }, false, {},
     [](const FakeLoader& f) { EXPECT_EQ(f.devices.count_calls, 1); }},
    {"device count call VK_ERROR_INITIALIZATION_FAILED", {offering},
     [](FakeLoader& f) { f.devices.script = {{.result = VK_ERROR_INITIALIZATION_FAILED}}; }, false, {}},
    {"device fill call VK_INCOMPLETE: the grown list is read again", {lacking, offering, offering},
     [](FakeLoader& f) { f.devices.items = {c}; f.devices.script = {{}, {.items_before = Devices{a, b}}}; },
     true, {a, b}, [](const FakeLoader& f) { EXPECT_EQ(f.devices.count_calls, 2); }},
    {"device fill call VK_ERROR_OUT_OF_HOST_MEMORY", {offering},
     [](FakeLoader& f) { f.devices.script = {{}, {.result = VK_ERROR_OUT_OF_HOST_MEMORY}}; }, false, {}},
    {"no devices", {},
     nullptr, false, {},
     [](const FakeLoader& f) { EXPECT_EQ(f.devices.fill_capacities, std::vector<std::uint32_t>{0}); }},
    {"device fill call VK_INCOMPLETE for ever", {offering},
     [](FakeLoader& f) { f.devices.every_fill_result = VK_INCOMPLETE; }, false, {},
     [](const FakeLoader& f) { EXPECT_EQ(f.devices.fill_calls, 64); }},
    {"extension count call VK_INCOMPLETE skips the device", {offering, offering},
     [](FakeLoader& f) { f.extensions[a].script = {{.result = VK_INCOMPLETE}}; }, true, {a, b}},
    {"extension count call error skips the device", {offering, offering},
     [](FakeLoader& f) { f.extensions[a].script = {{.result = VK_ERROR_OUT_OF_HOST_MEMORY}}; }, true, {a, b}},
    {"extension fill call VK_INCOMPLETE: the same device again", {{extension("VK_KHR_swapchain")}, offering},
     [](FakeLoader& f) { f.extensions[a].script = {{}, {.items_before = offering}}; }, true, {a, a}},
    {"extension fill call error skips the device", {offering, lacking},
     [](FakeLoader& f) { f.extensions[a].script = {{}, {.result = VK_ERROR_INITIALIZATION_FAILED}}; },
     false, {a, b}},
    {"extension fill call VK_INCOMPLETE for ever skips the device", {offering, offering},
     [](FakeLoader& f) { f.extensions[a].every_fill_result = VK_INCOMPLETE; }, true,
     listed_64_times_then(a, b), [](const FakeLoader& f) { EXPECT_EQ(f.extensions.at(a).fill_calls, 64); }},
    {"a device without extensions", {{}, offering},
     nullptr, true, {a, b},
     [](const FakeLoader& f) { EXPECT_EQ(f.extensions.at(a).fill_capacities, std::vector{0u}); }},

    // Matching.
    {"the first device offers it: the second is never listed", {offering, offering}, nullptr, true, {a}},
    {"the second device offers it", {lacking, offering}, nullptr, true, {a, b}},
    {"specVersion is not looked at", {{extension("VK_EXT_fragment_density_map", 0)}}, nullptr, true, {a}},
    {"only VK_EXT_fragment_density_map2", {lacking, lacking}, nullptr, false, {a, b}},
    {"other case, longer, shorter",
     {{extension("vk_ext_fragment_density_map"), extension("VK_EXT_FRAGMENT_DENSITY_MAP"),
       extension("VK_EXT_fragment_density_map_"), extension("VK_EXT_fragment_density_ma"),
       extension(" VK_EXT_fragment_density_map"), extension("")}},
     nullptr, false, {a}},
    // The record is the last of its array, its specVersion holds no zero byte: a read past the name
    // would run off the end of the array.
    {"a name with no NUL in its 256 bytes",
     {{extension("VK_KHR_swapchain"),
       extension("VK_EXT_fragment_density_map" + std::string(256 - 27, 'x'), 0x41414141)}},
     nullptr, false, {a}},
};
// clang-format on

TEST(SupportsFragmentDensityMap, AnswersAndReleases) {
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        FakeLoader fake;
        give_devices(fake, row.devices);
        if (row.arrange != nullptr) {
            row.arrange(fake);
        }
        EXPECT_EQ(supports_fragment_density_map(fake), row.answer);

        EXPECT_EQ(fake.extension_count_calls, row.listed);
        EXPECT_EQ(fake.freed, row.loaded ? std::vector<Module>{fake_module} : std::vector<Module>{});
        if (row.loaded) {
            EXPECT_EQ(fake.events.back(), "FreeLibrary") << "the library is released after every Vulkan call";
        }
        EXPECT_EQ(fake.destroy_calls, 0);
        EXPECT_LE(fake.create_calls, 1);
        if (fake.create_info) {
            const VkInstanceCreateInfo& info = *fake.create_info;
            EXPECT_EQ(info.sType, VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO);
            EXPECT_EQ(info.pNext, nullptr);
            EXPECT_EQ(info.flags, 0u);
            EXPECT_EQ(info.pApplicationInfo, nullptr);
            EXPECT_EQ(info.enabledLayerCount, 0u);
            EXPECT_EQ(info.ppEnabledLayerNames, nullptr);
            EXPECT_EQ(info.enabledExtensionCount, 0u);
            EXPECT_EQ(info.ppEnabledExtensionNames, nullptr);
            EXPECT_EQ(fake.create_allocator, nullptr);
            EXPECT_EQ(fake.handle_before_create, VK_NULL_HANDLE);
        }
        EXPECT_TRUE(std::all_of(fake.device_listing_instances.begin(), fake.device_listing_instances.end(),
                                [](VkInstance i) { return i == fake_instance; }));
        EXPECT_FALSE(fake.layer_name_given);
        EXPECT_FALSE(fake.devices.fill_array_misplaced);
        for (const auto& [device, listing] : fake.extensions) {
            EXPECT_FALSE(listing.fill_array_misplaced);
        }
        if (row.verify != nullptr) {
            row.verify(fake);
        }
    }
}

TEST(SupportsFragmentDensityMapDeathTest, CalledCommandMissing) {
    struct Row {
        const char* command;
        const char* message;
    } rows[] = {
        {"vkCreateInstance", "\nUnable to load create_instance\n"},
        {"vkEnumeratePhysicalDevices", "\nUnable to load enumerate_physical_devices\n"},
        {"vkEnumerateDeviceExtensionProperties", "\nUnable to load enumerate_device_extension_properties\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        FakeLoader fake;
        give_devices(fake, {offering});
        fake.missing = {row.command};
        EXPECT_DEATH(static_cast<void>(supports_fragment_density_map(fake)), row.message);
    }
}

// The probe over the host's own Vulkan loader, restricted to Mesa's software rasteriser (lavapipe),
// which does not offer fragment density maps. It runs in a child, which leaves the instance and the
// driver behind when it ends.
TEST(SupportsFragmentDensityMapDeathTest, HostLoaderWithSoftwareDriver) {
    constexpr const char* lavapipe_manifest = "/usr/share/vulkan/icd.d/lvp_icd.x86_64.json";
    if (!std::filesystem::exists(lavapipe_manifest)) {
        GTEST_SKIP() << "no lavapipe driver: " << lavapipe_manifest << " is missing";
    }
    void* const loader = ::dlopen("libvulkan.so.1", RTLD_NOW | RTLD_LOCAL);
    if (loader == nullptr) {
        GTEST_SKIP() << "libvulkan.so.1 cannot be loaded: " << ::dlerror();
    }
    ::dlclose(loader);
    const auto probe_on_lavapipe = [&] {
        ::setenv("VK_ICD_FILENAMES", lavapipe_manifest, 1);
        std::_Exit(supports_fragment_density_map(host_loader_api()) ? 1 : 0);
    };
    EXPECT_EXIT(probe_on_lavapipe(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace ostrand
