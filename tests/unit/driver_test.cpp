#include "driver.hpp"

#include <gtest/gtest.h>

#include <optional>

#include "../support/fixed_arguments.hpp"
#include "fake_kernel32.hpp"
#include "report/fatal.hpp"

namespace ostrand {
namespace {

using testing::FakeKernel32;

struct LaunchRun {
    FakeKernel32 system;
    std::optional<FatalFailure> failure;

    // A machine without a Vulkan runtime: the probe's load fails, which only makes its answer false.
    LaunchRun() { system.load_fails = true; }

    void launch_zorv() {
        try {
            launch(Platform{system, system, system, system}, "zorv");
        } catch (const FatalFailure& raised) {
            failure = raised;
        }
    }
    // The events that tell the driver's own steps apart.
    std::vector<std::string> steps() const {
        std::vector<std::string> out;
        for (const std::string& e : system.events) {
            for (const char* step :
                 {"GetModuleFileNameW", "GetCommandLineW", "LoadLibraryExW", "CreateProcessW",
                  "WaitForSingleObject", "GetExitCodeProcess", "CloseHandle"}) {
                if (e.starts_with(step)) {
                    out.push_back(e.substr(0, e.find(' ')));
                }
            }
        }
        return out;
    }
};

TEST(Launch, RunsItsStepsInOrderAndClosesProcessThenThread) {
    LaunchRun run;
    run.system.exit_code = 1;  // not looked at
    run.launch_zorv();
    EXPECT_FALSE(run.failure.has_value());
    EXPECT_EQ(run.steps(), (std::vector<std::string>{"GetModuleFileNameW", "GetCommandLineW",
                                                     "LoadLibraryExW", "CreateProcessW", "CloseHandle",
                                                     "CloseHandle", "CloseHandle", "WaitForSingleObject",
                                                     "GetExitCodeProcess", "CloseHandle", "CloseHandle"}));
    ASSERT_TRUE(run.system.create.has_value());
    EXPECT_EQ(run.system.create->application_name, u"C:\\Games\\Demo\\hl2.exe");
    const auto closes = std::vector<std::string>(run.system.events.end() - 2, run.system.events.end());
    EXPECT_EQ(closes, (std::vector<std::string>{"CloseHandle " + testing::hex(run.system.process_handle),
                                                "CloseHandle " + testing::hex(run.system.thread_handle)}));
    EXPECT_TRUE(run.system.open_handles.empty());
}

TEST(Launch, GameCommandLineForTheDemoDirectory) {
    LaunchRun run;
    run.launch_zorv();
    ASSERT_FALSE(run.failure.has_value()) << run.failure->message;
    ASSERT_TRUE(run.system.create.has_value());
    EXPECT_EQ(testing::show(run.system.create->command_line),
              "\"C:\\Games\\Demo\\hl2.exe\" " + test_support::fixed_arguments_line() + " -windowed");
}

TEST(Launch, EachFailingStepHasItsOwnFatalMessage) {
    // clang-format off
    struct Case {
        const char* label;
        void (*setup)(FakeKernel32&);
        std::string message;
        std::int32_t code;
        const char* reached;
        const char* not_reached;
    } cases[] = {
        {"executable path", [](FakeKernel32& s) { s.executable_error = 5; }, "Failed to determine path", 5,
         "GetModuleFileNameW", "GetCommandLineW"},
        {"start", [](FakeKernel32& s) { s.create_error = 2; }, "Failed to launch Half-Life 2", 2,
         "CreateProcessW", "WaitForSingleObject"},
        {"wait", [](FakeKernel32& s) { s.wait_result = 0xFFFFFFFF; s.wait_error = 6; },
         "Failed to run Half-Life 2", 6, "WaitForSingleObject", "GetExitCodeProcess"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        LaunchRun run;
        c.setup(run.system);
        run.launch_zorv();
        ASSERT_TRUE(run.failure.has_value());
        EXPECT_EQ(run.failure->message, c.message);
        EXPECT_EQ(run.failure->error, SystemError::os_code(c.code));
        EXPECT_EQ(run.failure->form, ErrorForm::Detailed);
        // The check that failed is the driver's own, not one further down.
        EXPECT_TRUE(std::string_view(run.failure->where.file_name()).ends_with("driver.cpp"))
            << run.failure->where.file_name();
        const auto steps = run.steps();
        EXPECT_NE(std::find(steps.begin(), steps.end(), c.reached), steps.end());
        EXPECT_EQ(std::find(steps.begin(), steps.end(), c.not_reached), steps.end());
        // Whatever failed, the handles that were taken are closed on the way out.
        EXPECT_TRUE(run.system.open_handles.empty());
    }
}

}  // namespace
}  // namespace ostrand
