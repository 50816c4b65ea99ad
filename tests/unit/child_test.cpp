#include "win/child.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake_kernel32.hpp"
#include "win/program_path.hpp"

namespace ostrand {
namespace {

using test_support::native;
using test_support::text;

using testing::FakeKernel32;
using testing::handle_value;
using testing::invalid;
using testing::show;
using testing::spawn_lock_held;

SpawnRequest demo_request() {
    return SpawnRequest{
        text("C:\\Games\\Demo\\hl2.exe"),
        {text("-novid"), text("-refresh 0")},
        {{text("DXVK_STATE_CACHE"), text("1")},
         {text("ZORV_STATE_CACHE_PATH"), text("C:\\Games\\Demo\\dxvk-cache")},
         {text("DXVK_ASYNC"), text("1")}},
    };
}

// The calls that the lock must cover, as the fake logs them without their " [locked]".
const std::string ask_in = "GetStdHandle -10", ask_out = "GetStdHandle -11", ask_err = "GetStdHandle -12";
const std::string copy_in = "DuplicateHandle 0x10 -> 0x110", copy_out = "DuplicateHandle 0x11 -> 0x111",
                  copy_err = "DuplicateHandle 0x12 -> 0x112";
const std::string close_in = "CloseHandle 0x110", close_out = "CloseHandle 0x111",
                  close_err = "CloseHandle 0x112";
const std::string create = "CreateProcessW";
const std::vector<std::string> whole_start = {ask_in,   copy_in, ask_out,   copy_out,  ask_err,
                                              copy_err, create,  close_err, close_out, close_in};
const std::array<Handle, 3> usual_handles = {handle_value(0x10), handle_value(0x11), handle_value(0x12)};

// One start against the fake, checked for what must hold after every start, failed or not: the lock
// is free, and nothing but the child's own two handles is open.
struct Start {
    FakeKernel32 system;

    SystemResult<ChildProcess> run(const SpawnRequest& request) {
        SystemResult<ChildProcess> result = spawn_child(request, SpawnSystem{system, system, system});
        EXPECT_FALSE(spawn_lock_held());
        std::set<Handle> expected_open;
        if (result.has_value()) {
            expected_open = {FakeKernel32::process_handle, FakeKernel32::thread_handle};
        }
        EXPECT_EQ(system.open_handles, expected_open);
        return result;
    }

    // The events from the first standard-handle request on, each of which must have been made under
    // the lock, without their " [locked]".
    std::vector<std::string> locked_part() const {
        std::vector<std::string> part;
        for (auto event = std::find_if(system.events.begin(), system.events.end(),
                                       [](const std::string& e) { return e.starts_with("GetStdHandle"); });
             event != system.events.end(); ++event) {
            EXPECT_TRUE(event->ends_with(" [locked]")) << *event << " outside the lock";
            part.push_back(event->substr(0, event->rfind(" [locked]")));
        }
        return part;
    }
};

TEST(SpawnChild, RunsTheStepsInOrderAndHoldsTheLockOnlyAroundTheCopies) {
    Start start;
    SystemResult<ChildProcess> child = start.run(demo_request());
    ASSERT_TRUE(child.has_value()) << ::testing::PrintToString(child.error());

    std::vector<std::string> expected = {"GetEnvironmentStringsW", "FreeEnvironmentStringsW",
                                         "GetFullPathNameW C:\\Games\\Demo\\hl2.exe", "GetStartupInfoW"};
    for (const std::string& step : whole_start) {
        expected.push_back(step + " [locked]");
    }
    EXPECT_EQ(start.system.events, expected);
    EXPECT_EQ(child->process.get(), FakeKernel32::process_handle);
    EXPECT_EQ(child->thread.get(), FakeKernel32::thread_handle);
    EXPECT_FALSE(child->stdin_pipe.valid() || child->stdout_pipe.valid() || child->stderr_pipe.valid());

    // The holder closes the process handle, then the thread handle.
    start.system.events.clear();
    child->close();
    EXPECT_EQ(start.system.events, (std::vector<std::string>{"CloseHandle 0x200", "CloseHandle 0x204"}));
    EXPECT_TRUE(start.system.open_handles.empty());
}

TEST(SpawnChild, PassesTheFixedCreationParameters) {
    Start start;
    SystemResult<ChildProcess> child = start.run(demo_request());
    ASSERT_TRUE(child.has_value()) << ::testing::PrintToString(child.error());
    ASSERT_TRUE(start.system.create.has_value());
    const FakeKernel32::CreateCall& call = *start.system.create;

    EXPECT_EQ(show(call.application_name), "C:\\Games\\Demo\\hl2.exe");
    EXPECT_EQ(show(call.command_line), "\"C:\\Games\\Demo\\hl2.exe\" -novid \"-refresh 0\"");
    EXPECT_TRUE(call.inherit_handles);
    EXPECT_EQ(call.creation_flags, 0x400u);
    EXPECT_TRUE(call.current_directory_null);
    ASSERT_TRUE(call.has_environment);
    using namespace std::string_literals;
    EXPECT_EQ(call.environment,
              u"DXVK_ASYNC=1\0DXVK_STATE_CACHE=1\0Path=C:\\w\0windir=C:\\w\0"
              u"ZORV_STATE_CACHE_PATH=C:\\Games\\Demo\\dxvk-cache\0\0"s);
    EXPECT_EQ(call.startup,
              (StartupInfo{0x100, handle_value(0x110), handle_value(0x111), handle_value(0x112)}));
}

TEST(SpawnChild, WithoutOverridesThereIsNoBlockButTheFlagStays) {
    Start start;
    SpawnRequest request = demo_request();
    request.environment_overrides.clear();
    SystemResult<ChildProcess> child = start.run(request);
    ASSERT_TRUE(child.has_value()) << ::testing::PrintToString(child.error());
    EXPECT_FALSE(start.system.create->has_environment);
    EXPECT_EQ(start.system.create->creation_flags, 0x400u);
    EXPECT_FALSE(start.system.called("GetEnvironmentStringsW"));
}

TEST(SpawnChild, StandardHandles) {
    struct Case {
        std::string_view name;
        std::array<Handle, 3> own;
        StartupInfo expected;
        std::vector<std::string> locked_part;
        std::uint32_t launcher_flags = 0;  // how the launcher was started
        std::optional<std::pair<Handle, std::uint32_t>> duplicate_failure = {};
    };
    const Handle none = nullptr;
    const Handle invalid_value = invalid_handle_value();
    // clang-format off
    const Case cases[] = {
        {"none: the system's defaults", {none, none, none},
         StartupInfo{}, {ask_in, ask_out, ask_err, create}},
        {"all INVALID_HANDLE_VALUE: the same as none", {invalid_value, invalid_value, invalid_value},
         StartupInfo{}, {ask_in, ask_out, ask_err, create}},
        {"only output", {none, handle_value(0x11), invalid_value},
         StartupInfo{0x100, nullptr, handle_value(0x111), nullptr},
         {ask_in, ask_out, copy_out, ask_err, create, close_out}},
        {"input and error", {handle_value(0x10), invalid_value, handle_value(0x12)},
         StartupInfo{0x100, handle_value(0x110), nullptr, handle_value(0x112)},
         {ask_in, copy_in, ask_out, ask_err, copy_err, create, close_err, close_in}},
        // Started by the shell: its values in the slots are no streams, whatever they hold.
        {"from a hotkey: the input slot is not looked at", usual_handles,
         StartupInfo{0x100, nullptr, handle_value(0x111), handle_value(0x112)},
         {ask_out, copy_out, ask_err, copy_err, create, close_err, close_out},
         0x200 | 0x1},  // STARTF_USEHOTKEY, and STARTF_USESHOWWINDOW as from a shortcut
        {"from the taskbar: the output slot is not looked at", usual_handles,
         StartupInfo{0x100, handle_value(0x110), nullptr, handle_value(0x112)},
         {ask_in, copy_in, ask_err, copy_err, create, close_err, close_in}, 0x400 | 0x1},
        {"a value that is no handle (error 6 on its copy): no stream, the start goes on", usual_handles,
         StartupInfo{0x100, handle_value(0x110), nullptr, handle_value(0x112)},
         {ask_in, copy_in, ask_out, "DuplicateHandle 0x11 failed", ask_err, copy_err, create, close_err,
          close_in}, 0, std::pair{handle_value(0x11), std::uint32_t{6}}},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start start;
        start.system.std_handles = row.own;
        start.system.own_startup.flags = row.launcher_flags;
        start.system.duplicate_failure = row.duplicate_failure;
        SystemResult<ChildProcess> child = start.run(demo_request());
        ASSERT_TRUE(child.has_value()) << ::testing::PrintToString(child.error());
        EXPECT_EQ(start.system.create->startup, row.expected);
        EXPECT_EQ(start.locked_part(), row.locked_part);
    }
}

TEST(SpawnChild, ApplicationNameAndCommandLineForm) {
    using testing::drive_path_of_length;
    const struct Case {
        std::string_view name;
        std::u16string program;
        std::u16string application_name;
    } cases[] = {
        {"246 units", drive_path_of_length(246), drive_path_of_length(246)},
        {"247 units", drive_path_of_length(247), u"\\\\?\\" + drive_path_of_length(247)},
        {"259 units", drive_path_of_length(259), u"\\\\?\\" + drive_path_of_length(259)},
        {"260 units", drive_path_of_length(260), drive_path_of_length(260)},
        {"literal drive", u"\\\\?\\C:\\Games\\hl2.exe", u"C:\\Games\\hl2.exe"},
        {"literal share", u"\\\\?\\UNC\\server\\share\\hl2.exe", u"\\\\server\\share\\hl2.exe"},
        {"device", u"\\\\.\\X\\hl2.exe", u"\\\\.\\X\\hl2.exe"},
        {"relative with a directory", u"Demo\\hl2.exe", u"C:\\cwd\\Demo\\hl2.exe"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start start;
        SpawnRequest request = demo_request();
        request.program_path = native(row.program);
        request.arguments = {text("-novid")};
        SystemResult<ChildProcess> child = start.run(request);
        ASSERT_TRUE(child.has_value()) << ::testing::PrintToString(child.error());
        EXPECT_EQ(show(start.system.create->application_name), show(row.application_name));
        // The child always sees the program path as the plan holds it.
        EXPECT_EQ(show(start.system.create->command_line), "\"" + show(row.program) + "\" -novid");
    }
}

TEST(SpawnChild, OverriddenPathIsSearchedFirst) {
    const struct Case {
        std::string_view name;
        std::vector<EnvOverride> overrides;
        std::string first_looked_at;
    } cases[] = {
        {"PATH overridden in another case", {{text("pAtH"), text("F:\\c1")}}, "F:\\c1\\game.exe"},
        {"PATH not overridden", {{text("PATHS"), text("F:\\c1")}}, "C:\\Games\\Demo\\game.exe"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start start;
        start.system.files = {u"F:\\c1\\game.exe", u"C:\\Games\\Demo\\game.exe"};
        SpawnRequest request = demo_request();
        request.program_path = text("game");
        request.environment_overrides = row.overrides;
        SystemResult<ChildProcess> child = start.run(request);
        ASSERT_TRUE(child.has_value()) << ::testing::PrintToString(child.error());
        EXPECT_EQ(show(start.system.create->application_name), row.first_looked_at);
        EXPECT_TRUE(start.system.called("GetFileAttributesW " + row.first_looked_at));
        EXPECT_EQ(show(start.system.create->command_line), "\"game\" -novid \"-refresh 0\"");
    }
}

// What a failing start changes of the demo request or the system.
using Setup = std::function<void(SpawnRequest&, FakeKernel32&)>;

Setup program(std::u16string path) {
    return [path](SpawnRequest& request, FakeKernel32&) { request.program_path = native(path); };
}
Setup full_path_fails(std::uint32_t code) {
    return [code](SpawnRequest&, FakeKernel32& system) {
        system.full_path_errors[u"C:\\Games\\Demo\\hl2.exe"] = code;
    };
}
Setup nul_in(std::u16string argument) {
    return
        [argument](SpawnRequest& request, FakeKernel32&) { request.arguments.push_back(native(argument)); };
}
// `setup` after an argument that holds a 0 unit.
Setup nul_argument_then(Setup setup) {
    return [setup](SpawnRequest& request, FakeKernel32& system) {
        nul_in(std::u16string(u"x\0", 2))(request, system);
        setup(request, system);
    };
}

struct FailureCase {
    std::string_view name;
    Setup setup;
    SystemError expected;
};

// With `before_the_lock`, the failure comes before steps 8 to 11: no standard handle is asked for and
// no process is created.
void expect_failures(const std::vector<FailureCase>& cases, bool before_the_lock) {
    for (const FailureCase& row : cases) {
        SCOPED_TRACE(row.name);
        Start start;
        SpawnRequest request = demo_request();
        row.setup(request, start.system);
        SystemResult<ChildProcess> child = start.run(request);
        ASSERT_FALSE(child.has_value());
        EXPECT_EQ(child.error(), row.expected);
        if (before_the_lock) {
            EXPECT_FALSE(start.system.called("GetStdHandle"));
            EXPECT_FALSE(start.system.called("CreateProcessW"));
        }
    }
}

TEST(SpawnChild, FailuresBeforeTheStandardHandles) {
    expect_failures(
        {
            {"empty program path", program(u""), invalid(no_file_name_message)},
            {"trailing separator", program(u"C:\\Games\\"), invalid(no_file_name_message)},
            {"0 unit in the program path", program(std::u16string(u"C:\\G\0\\hl2.exe", 13)),
             invalid(winapi_nul_message)},
            {"bare name found nowhere", program(u"hl2.exe"), testing::program_not_found},
            {"full path of the application name fails", full_path_fails(3), SystemError::os_code(3)},
            {"batch file", program(u"C:\\Games\\run.bat"), invalid(batch_file_refused_message)},
            {"command script in upper case", program(u"C:\\Games\\RUN.CMD"),
             invalid(batch_file_refused_message)},
            {"batch file once trailing dots are dropped",
             [](SpawnRequest& request, FakeKernel32& system) {
                 request.program_path = text("C:\\Games\\run.bat.");
                 system.full_paths[u"C:\\Games\\run.bat."] = u"C:\\Games\\run.bat";
             },
             invalid(batch_file_refused_message)},
            {"literal batch file name, tested as it stands", program(u"\\\\?\\C:\\Games\\r.Bat"),
             invalid(batch_file_refused_message)},
            {"literal name of 261 units ending in .cmd",
             program(u"\\\\?\\C:\\" + std::u16string(250, u'a') + u".cmd"),
             invalid(batch_file_refused_message)},
            {"0 unit in an argument", nul_in(std::u16string(u"a\0", 2)), invalid(nul_in_data_message)},
            {"0 unit in an override name",
             [](SpawnRequest& request, FakeKernel32&) {
                 request.environment_overrides.push_back({native(std::u16string(u"A\0B", 3)), text("1")});
             },
             invalid(nul_in_data_message)},
            {"0 unit in an override value",
             [](SpawnRequest& request, FakeKernel32&) {
                 request.environment_overrides.push_back({text("X"), native(std::u16string(u"\0", 1))});
             },
             invalid(nul_in_data_message)},
        },
        true);
}

TEST(SpawnChild, BatchTestLooksAtTheFullPathOnlyForPlainNames) {
    const struct Case {
        std::string_view name;
        std::u16string program;
        bool full_path_asked;
    } cases[] = {
        {"plain name", u"C:\\Games\\hl2.exe", true},
        {"literal name", u"\\\\?\\GLOBALROOT\\hl2.exe", false},
        {"object manager name", u"\\??\\C:\\Games\\hl2.exe", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start start;
        SpawnRequest request = demo_request();
        request.program_path = native(row.program);
        SystemResult<ChildProcess> child = start.run(request);
        ASSERT_TRUE(child.has_value()) << ::testing::PrintToString(child.error());
        EXPECT_EQ(start.system.called("GetFullPathNameW " + show(row.program)), row.full_path_asked);
    }
}

// Failures while the copies exist: every copy made is closed, under the lock, and the error is the
// failing call's own, whatever the clean-up leaves behind.
TEST(SpawnChild, FailuresWhileHoldingTheLock) {
    struct Case {
        std::string_view name;
        std::optional<std::pair<Handle, std::uint32_t>> duplicate_failure;
        std::optional<std::uint32_t> create_error;
        std::uint32_t expected_code;
        std::vector<std::string> locked_part;
        std::array<Handle, 3> own = usual_handles;
    };
    // clang-format off
    const Case cases[] = {
        {"input copy fails", std::pair{handle_value(0x10), 5u}, {}, 5,
         {ask_in, "DuplicateHandle 0x10 failed"}},
        {"output copy refused (any error but 6)", std::pair{handle_value(0x11), 5u}, {}, 5,
         {ask_in, copy_in, ask_out, "DuplicateHandle 0x11 failed", close_in}},
        {"error copy fails", std::pair{handle_value(0x12), 8u}, {}, 8,
         {ask_in, copy_in, ask_out, copy_out, ask_err, "DuplicateHandle 0x12 failed", close_out, close_in}},
        {"CreateProcessW fails", {}, 2, 2, whole_start},
        {"CreateProcessW fails without standard handles", {}, 193, 193, {ask_in, ask_out, ask_err, create},
         {nullptr, nullptr, nullptr}},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start start;
        start.system.duplicate_failure = row.duplicate_failure;
        start.system.create_error = row.create_error;
        start.system.std_handles = row.own;
        SystemResult<ChildProcess> child = start.run(demo_request());
        ASSERT_FALSE(child.has_value());
        EXPECT_EQ(child.error(), SystemError::os_code(static_cast<std::int32_t>(row.expected_code)));
        EXPECT_EQ(start.locked_part(), row.locked_part);
    }
}

// The longest command line Windows takes is started whole; one unit more is refused with the error
// that CreateProcessW gives for it, without the call, once the copies exist, which are then closed.
TEST(SpawnChild, CommandLineLengthLimit) {
    const std::size_t program_part = 2 + demo_request().program_path.size() + 1;  // quotes and the space
    for (const std::size_t units : {std::size_t{32766}, std::size_t{32767}, std::size_t{40000}}) {
        SCOPED_TRACE(units);
        Start start;
        SpawnRequest request = demo_request();
        request.arguments = {text(std::string(units - program_part, 'a'))};
        SystemResult<ChildProcess> child = start.run(request);
        std::vector<std::string> locked_part = whole_start;
        if (units == 32766) {
            ASSERT_TRUE(child.has_value());
            ASSERT_TRUE(start.system.create.has_value());
            EXPECT_EQ(start.system.create->command_line.size(), units);
        } else {
            ASSERT_FALSE(child.has_value());
            EXPECT_EQ(child.error(), SystemError::os_code(206));
            EXPECT_FALSE(start.system.create.has_value());
            locked_part.erase(std::find(locked_part.begin(), locked_part.end(), create));
        }
        EXPECT_EQ(start.locked_part(), locked_part);
    }
}

TEST(SpawnChild, EarlierStepsFailureWins) {
    expect_failures(
        {
            {"empty program path over a 0 unit in an argument", nul_argument_then(program(u"")),
             invalid(no_file_name_message)},
            {"missing program over a 0 unit in an argument", nul_argument_then(program(u"hl2")),
             testing::program_not_found},
            {"failed full path over a 0 unit in an argument", nul_argument_then(full_path_fails(3)),
             SystemError::os_code(3)},
            {"batch file over a 0 unit in an argument", nul_argument_then(program(u"C:\\x.cmd")),
             invalid(batch_file_refused_message)},
            {"0 unit in an argument over a failing start",
             nul_argument_then([](SpawnRequest&, FakeKernel32& system) { system.create_error = 2; }),
             invalid(nul_in_data_message)},
            {"0 unit in an override over a failing copy",
             [](SpawnRequest& request, FakeKernel32& system) {
                 request.environment_overrides[0].value = native(std::u16string(u"\0", 1));
                 system.duplicate_failure = {handle_value(0x10), 5};
             },
             invalid(nul_in_data_message)},
            {"failing copy over a failing start",
             [](SpawnRequest&, FakeKernel32& system) {
                 system.duplicate_failure = {handle_value(0x12), 5};
                 system.create_error = 2;
             },
             SystemError::os_code(5)},
        },
        false);
}

// A child holding the fake's process and thread handles.
ChildProcess held_child(FakeKernel32& system) {
    system.open_handles.insert({FakeKernel32::process_handle, FakeKernel32::thread_handle});
    return ChildProcess(OwnedHandle(system, FakeKernel32::process_handle),
                        OwnedHandle(system, FakeKernel32::thread_handle));
}

TEST(WaitChild, WaitsThenReadsTheExitCode) {
    struct Case {
        std::string_view name;
        std::function<void(FakeKernel32&)> setup;
        std::optional<std::uint32_t> exit_code;  // none: the error below
        std::int32_t error;
        std::vector<std::string> events;
    };
    const std::string wait = "WaitForSingleObject 0x200 4294967295";
    const std::string exit = "GetExitCodeProcess 0x200";
    // clang-format off
    const Case cases[] = {
        {"exit code 0", {}, 0u, 0, {wait, exit}},
        {"any exit code", [](FakeKernel32& s) { s.exit_code = 0xC0000005; }, 0xC0000005u, 0, {wait, exit}},
        {"wait fails", [](FakeKernel32& s) { s.wait_result = 0xFFFFFFFF; s.wait_error = 6; }, {}, 6, {wait}},
        {"wait ends otherwise",  // WAIT_ABANDONED
         [](FakeKernel32& s) { s.wait_result = 0x80; s.wait_error = 1460; }, {}, 1460, {wait}},
        {"exit code unreadable", [](FakeKernel32& s) { s.exit_code_error = 5; }, {}, 5, {wait, exit}},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        FakeKernel32 system;
        if (row.setup) {
            row.setup(system);
        }
        ChildProcess child = held_child(system);
        const SystemResult<std::uint32_t> result = wait_child(child, system);
        if (row.exit_code) {
            ASSERT_TRUE(result.has_value()) << ::testing::PrintToString(result.error());
            EXPECT_EQ(*result, *row.exit_code);
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), SystemError::os_code(row.error));
        }
        EXPECT_EQ(system.events, row.events);
        // The handles stay with the holder.
        EXPECT_EQ(system.open_handles.size(), 2u);
        EXPECT_TRUE(child.process.valid() && child.thread.valid());
    }
}

TEST(WaitChild, ClosesAnInputPipeBeforeWaiting) {
    FakeKernel32 system;
    ChildProcess child = held_child(system);
    system.open_handles.insert(handle_value(0x300));
    child.stdin_pipe = OwnedHandle(system, handle_value(0x300));
    ASSERT_TRUE(wait_child(child, system).has_value());
    ASSERT_FALSE(system.events.empty());
    EXPECT_EQ(system.events.front(), "CloseHandle 0x300");
    EXPECT_FALSE(child.stdin_pipe.valid());
}

TEST(OwnedHandle, ClosesEachHandleExactlyOnce) {
    FakeKernel32 system;
    system.open_handles = {handle_value(1), handle_value(2), handle_value(3), handle_value(4)};
    {
        OwnedHandle first(system, handle_value(1));
        OwnedHandle moved(std::move(first));
        EXPECT_FALSE(first.valid());
        OwnedHandle target(system, handle_value(2));
        target = std::move(moved);  // closes 2, takes 1
        EXPECT_EQ(target.get(), handle_value(1));
        OwnedHandle released(system, handle_value(3));
        EXPECT_EQ(released.release(), handle_value(3));
        OwnedHandle empty;
        empty.reset();
        OwnedHandle later;
        later.reset(system, handle_value(4));  // closes nothing yet, takes 4
    }
    EXPECT_EQ(system.events,
              (std::vector<std::string>{"CloseHandle 0x2", "CloseHandle 0x4", "CloseHandle 0x1"}));
    EXPECT_EQ(system.open_handles, std::set<Handle>{handle_value(3)});
}

// The fake's CloseHandle leaves an error of its own behind; the owner puts the caller's back.
TEST(OwnedHandle, CloseKeepsTheCallersLastError) {
    FakeKernel32 system;
    system.open_handles = {handle_value(1), handle_value(2)};
    system.last_error = 87;
    {
        OwnedHandle replaced(system, handle_value(1));
        replaced.reset(system, handle_value(2));
        EXPECT_EQ(system.last_error, 87u) << "after the close of a replaced handle";
    }
    EXPECT_EQ(system.last_error, 87u) << "after the close at the end of the scope";
    EXPECT_EQ(system.events, (std::vector<std::string>{"CloseHandle 0x1", "CloseHandle 0x2"}));
}

TEST(ChildProcess, ClosesProcessThenThreadThenPipes) {
    FakeKernel32 system;
    system.open_handles = {handle_value(0x300), handle_value(0x304)};
    {
        ChildProcess child = held_child(system);
        child.stdout_pipe = OwnedHandle(system, handle_value(0x300));
        child.stdin_pipe = OwnedHandle(system, handle_value(0x304));
        ChildProcess holder = std::move(child);
    }
    EXPECT_EQ(system.events, (std::vector<std::string>{"CloseHandle 0x200", "CloseHandle 0x204",
                                                       "CloseHandle 0x304", "CloseHandle 0x300"}));
    EXPECT_TRUE(system.open_handles.empty());
}

}  // namespace
}  // namespace ostrand
