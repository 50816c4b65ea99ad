#include "win/program_path.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake_kernel32.hpp"

namespace ostrand {
namespace {

using test_support::native;

using testing::drive_path_of_length;
using testing::FakeKernel32;
using testing::invalid;
using testing::program_not_found;
using testing::show;

std::u16string padded(std::u16string_view head, std::size_t units) {
    return std::u16string(head) + std::u16string(units - head.size(), u'b');
}

SystemResult<std::u16string> resolve(FakeKernel32& system, std::u16string_view program,
                                     const std::optional<NativeString>& search_path = std::nullopt) {
    return resolve_program(native(program), search_path, system, system);
}

TEST(SplitPathList, SeparatesQuotesAndSkipsEmptyEntries) {
    const struct SplitCase {
        std::string_view name;
        std::u16string list;
        std::vector<std::u16string> expected;
    } cases[] = {
        {"empty", u"", {}},
        {"one entry", u"C:\\a", {u"C:\\a"}},
        {"two entries", u"C:\\a;D:\\b", {u"C:\\a", u"D:\\b"}},
        {"empty entries skipped", u";;C:\\a;;;D:\\b;", {u"C:\\a", u"D:\\b"}},
        {"only separators", u";;;", {}},
        {"quoted separator", u"\"C:\\a;b\";D:\\c", {u"C:\\a;b", u"D:\\c"}},
        {"quotes dropped mid-entry", u"C:\\\"Program Files\"\\x", {u"C:\\Program Files\\x"}},
        {"quotes alone make an empty entry", u"\"\";C:\\a", {u"C:\\a"}},
        {"unclosed quote runs to the end", u"\"C:\\a;b", {u"C:\\a;b"}},
        {"spaces kept", u" C:\\a ; b", {u" C:\\a ", u" b"}},
    };
    for (const SplitCase& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<std::u16string> entries;
        for (const NativeString& entry : split_path_list(native(row.list))) {
            entries.push_back(native_to_utf16(entry));
        }
        EXPECT_EQ(entries, row.expected);
    }
}

TEST(SplitPathList, SurrogatesMeetingAcrossADroppedQuoteBecomeAPair) {
    const std::vector<NativeString> entries = split_path_list(native(u"\xD83D\"\xDE00\";\xD800"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].bytes(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(native_to_utf16(entries[1]), u"\xD800");
    EXPECT_FALSE(entries[1].known_utf8());
}

struct SystemPathCase {
    std::string_view name;
    std::u16string path;
    std::map<std::u16string, std::u16string> full_paths;
    std::u16string expected;
    std::vector<std::string> queries;  // GetFullPathNameW inputs, in order
};

void expect_system_paths(const std::vector<SystemPathCase>& cases) {
    for (const SystemPathCase& row : cases) {
        SCOPED_TRACE(row.name);
        FakeKernel32 system;
        system.full_paths = row.full_paths;
        const SystemResult<std::u16string> result = to_system_path(native(row.path), system);
        ASSERT_TRUE(result.has_value()) << ::testing::PrintToString(result.error());
        EXPECT_EQ(show(*result), show(row.expected));
        EXPECT_EQ(system.arguments_of("GetFullPathNameW"), row.queries);
    }
}

TEST(ToSystemPath, ShortPathsThatNeedNoChangeAreNotLookedAt) {
    expect_system_paths({
        {"drive path", u"C:\\Games\\hl2.exe", {}, u"C:\\Games\\hl2.exe", {}},
        {"drive path with slashes", u"C:/Games/hl2.exe", {}, u"C:/Games/hl2.exe", {}},
        {"drive alone", u"C:", {}, u"C:", {}},
        // Not a drive to the path rules, which take ASCII letters only.
        {"any unit before the colon", u"1:\\x", {}, u"1:\\x", {}},
        {"share", u"\\\\server\\share\\hl2.exe", {}, u"\\\\server\\share\\hl2.exe", {}},
        {"share with slashes", u"//server/share", {}, u"//server/share", {}},
        {"device", u"\\\\.\\pipe\\x", {}, u"\\\\.\\pipe\\x", {}},
        {"object manager path", u"\\??\\C:\\x", {}, u"\\??\\C:\\x", {}},
        {"literal path of another kind", u"\\\\?\\GLOBALROOT\\x", {}, u"\\\\?\\GLOBALROOT\\x", {}},
        {"literal drive without a root backslash", u"\\\\?\\C:/x", {}, u"\\\\?\\C:/x", {}},
        {"empty", u"", {}, u"", {}},
    });
}

TEST(ToSystemPath, RelativeAndRootedPathsAreMadeFull) {
    // clang-format off
    expect_system_paths({
        {"relative", u"hl2.exe", {}, u"C:\\cwd\\hl2.exe", {"hl2.exe"}},
        {"drive-relative", u"C:hl2.exe", {{u"C:hl2.exe", u"C:\\cwd\\hl2.exe"}}, u"C:\\cwd\\hl2.exe",
         {"C:hl2.exe"}},
        {"rooted", u"\\Games\\hl2.exe", {{u"\\Games\\hl2.exe", u"C:\\Games\\hl2.exe"}}, u"C:\\Games\\hl2.exe",
         {"\\Games\\hl2.exe"}},
        {"a lone unit before the colon is no drive when it is a separator", u"/:x", {{u"/:x", u"C:\\:x"}},
         u"C:\\:x", {"/:x"}},
    });
    // clang-format on
}

TEST(ToSystemPath, ShortLiteralPathsLoseThePrefixOnlyWhenThePlainFormIsTheSame) {
    // clang-format off
    expect_system_paths({
        {"literal drive, same", u"\\\\?\\C:\\Games\\hl2.exe", {}, u"C:\\Games\\hl2.exe",
         {"C:\\Games\\hl2.exe"}},
        {"literal drive, trailing dot", u"\\\\?\\C:\\Games\\hl2.exe.",
         {{u"C:\\Games\\hl2.exe.", u"C:\\Games\\hl2.exe"}}, u"\\\\?\\C:\\Games\\hl2.exe.",
         {"C:\\Games\\hl2.exe."}},
        {"literal share, same", u"\\\\?\\UNC\\server\\share\\hl2.exe", {}, u"\\\\server\\share\\hl2.exe",
         {"\\\\server\\share\\hl2.exe"}},
        {"literal share, dot-dot", u"\\\\?\\UNC\\server\\share\\a\\..\\hl2.exe",
         {{u"\\\\server\\share\\a\\..\\hl2.exe", u"\\\\server\\share\\hl2.exe"}},
         u"\\\\?\\UNC\\server\\share\\a\\..\\hl2.exe", {"\\\\server\\share\\a\\..\\hl2.exe"}},
    });
    // clang-format on
}

TEST(ToSystemPath, LengthDecidesThePrefix) {
    const std::u16string at_246 = drive_path_of_length(246);
    const std::u16string at_247 = drive_path_of_length(247);
    const std::u16string at_259 = drive_path_of_length(259);
    const std::u16string at_260 = drive_path_of_length(260);
    const std::u16string share = padded(u"\\\\server\\share\\", 247);
    const std::u16string device = padded(u"\\\\.\\X\\", 247);
    const std::u16string literal_long = padded(u"\\\\?\\C:\\", 260);
    const std::u16string rooted = padded(u"\\", 247);
    const std::u16string rooted_full = u"C:" + rooted;
    // clang-format off
    expect_system_paths({
        {"246 units (247 with terminator): unchanged", at_246, {}, at_246, {}},
        {"247 units: prefixed", at_247, {}, u"\\\\?\\" + at_247, {show(at_247)}},
        {"259 units: prefixed", at_259, {}, u"\\\\?\\" + at_259, {show(at_259)}},
        {"260 units (261 with terminator): unchanged", at_260, {}, at_260, {}},
        {"share of 247 units", share, {}, u"\\\\?\\UNC\\" + share.substr(2), {show(share)}},
        {"device of 247 units", device, {}, u"\\\\?\\" + device.substr(4), {show(device)}},
        {"literal drive beyond MAX_PATH: unchanged", literal_long, {}, literal_long, {}},
        {"rooted, full path prefixed", rooted, {{rooted, rooted_full}}, u"\\\\?\\" + rooted_full,
         {show(rooted)}},
    });
    // clang-format on
}

TEST(ToSystemPath, FullPathLengthDecidesThePrefixOfAShortInput) {
    const std::u16string full_246 = drive_path_of_length(246);
    const std::u16string full_247 = drive_path_of_length(247);
    const std::u16string literal = padded(u"\\\\?\\C:\\", 250);
    const std::u16string object = padded(u"\\??\\C:\\", 250);
    const std::u16string other = padded(u"x", 250);
    expect_system_paths({
        {"full path of 246 units", u"x", {{u"x", full_246}}, full_246, {"x"}},
        {"full path of 247 units", u"x", {{u"x", full_247}}, u"\\\\?\\" + full_247, {"x"}},
        {"full path already literal", u"x", {{u"x", literal}}, literal, {"x"}},
        {"full path in the object namespace", u"x", {{u"x", object}}, object, {"x"}},
        {"full path of no known shape", u"x", {{u"x", other}}, other, {"x"}},
    });
}

TEST(ToSystemPath, Failures) {
    struct Case {
        std::string_view name;
        std::u16string path;
        std::map<std::u16string, std::uint32_t> full_path_errors;
        SystemError expected;
    };
    // clang-format off
    const Case cases[] = {
        {"0 unit", std::u16string(u"C:\\a\0b", 6), {}, invalid(winapi_nul_message)},
        {"0 unit beyond MAX_PATH", padded(std::u16string(u"C:\\\0", 4), 300), {},
         invalid(winapi_nul_message)},

        {"full path of a relative path", u"hl2.exe", {{u"hl2.exe", 3}}, SystemError::os_code(3)},
        {"full path of a literal drive path", u"\\\\?\\C:\\x", {{u"C:\\x", 123}}, SystemError::os_code(123)},
        {"full path of a literal share path", u"\\\\?\\UNC\\s\\h\\x", {{u"\\\\s\\h\\x", 53}},
         SystemError::os_code(53)},
    };
    // clang-format on

    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        FakeKernel32 system;
        system.full_path_errors = row.full_path_errors;
        const SystemResult<std::u16string> result = to_system_path(native(row.path), system);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), row.expected);
    }
}

struct ResolveCase {
    std::string_view name;
    std::u16string program;
    std::function<void(FakeKernel32&)> setup;
    std::u16string expected;
    std::vector<std::string> attribute_queries;
};

// Each row with `files` on the machine, before its own setup.
void expect_resolved(const std::vector<ResolveCase>& cases, const std::set<std::u16string>& files = {}) {
    for (const ResolveCase& row : cases) {
        SCOPED_TRACE(row.name);
        FakeKernel32 system;
        system.files = files;
        if (row.setup) {
            row.setup(system);
        }
        const SystemResult<std::u16string> result = resolve(system, row.program);
        ASSERT_TRUE(result.has_value()) << ::testing::PrintToString(result.error());
        EXPECT_EQ(show(*result), show(row.expected));
        EXPECT_EQ(system.arguments_of("GetFileAttributesW"), row.attribute_queries);
    }
}

TEST(ResolveProgram, PathEndingInExeIsTakenWithoutLookingForIt) {
    expect_resolved({
        {"lower case", u"C:\\Games\\hl2.exe", {}, u"C:\\Games\\hl2.exe", {}},
        {"upper case", u"C:\\Games\\HL2.EXE", {}, u"C:\\Games\\HL2.EXE", {}},
        {"mixed case", u"C:\\Games\\hl2.ExE", {}, u"C:\\Games\\hl2.ExE", {}},
        {"relative with a directory", u"Games\\hl2.exe", {}, u"C:\\cwd\\Games\\hl2.exe", {}},
        {"slash as the separator", u"Games/hl2.exe", {}, u"C:\\cwd\\Games/hl2.exe", {}},
        {"literal drive", u"\\\\?\\C:\\Games\\hl2.exe", {}, u"C:\\Games\\hl2.exe", {}},
    });
}

TEST(ResolveProgram, PathWithoutExeGetsItOnlyWhenThatFileExists) {
    const auto with_file = [](std::u16string file) {
        return [file](FakeKernel32& system) { system.files.insert(file); };
    };
    // clang-format off
    expect_resolved({
        {"exists with .exe", u"C:\\Games\\hl2", with_file(u"C:\\Games\\hl2.exe"), u"C:\\Games\\hl2.exe",
         {"C:\\Games\\hl2.exe"}},
        {"not there with .exe", u"C:\\Games\\hl2", {}, u"C:\\Games\\hl2", {"C:\\Games\\hl2.exe"}},
        {"other extension", u"C:\\Games\\hl2.bin", {}, u"C:\\Games\\hl2.bin", {"C:\\Games\\hl2.bin.exe"}},
        {"relative", u"Games\\hl2", with_file(u"C:\\cwd\\Games\\hl2.exe"), u"C:\\cwd\\Games\\hl2.exe",
         {"C:\\cwd\\Games\\hl2.exe"}},
        // A slash at the end of a literal path is part of the name, not a separator.
        {"literal path ending in a slash", u"\\\\?\\C:\\Games/",
         [](FakeKernel32& system) {
             system.full_paths[u"C:\\Games/.exe"] = u"C:\\Games\\.exe";
             system.full_paths[u"C:\\Games/"] = u"C:\\Games\\";
         },
         u"\\\\?\\C:\\Games/", {"\\\\?\\C:\\Games/.exe"}},
    });
    // clang-format on
}

TEST(ResolveProgram, Refusals) {
    const struct Case {
        std::string_view name;
        std::u16string program;
        SystemError expected;
    } cases[] = {
        {"empty", u"", invalid(no_file_name_message)},
        {"trailing backslash", u"C:\\Games\\", invalid(no_file_name_message)},
        {"trailing slash", u"C:\\Games/", invalid(no_file_name_message)},
        {"literal path with trailing backslash", u"\\\\?\\C:\\Games\\", invalid(no_file_name_message)},
        {"0 unit in a path ending in .exe", std::u16string(u"C:\\G\0\\hl2.exe", 13),
         invalid(winapi_nul_message)},
        {"0 unit in a path without .exe", std::u16string(u"C:\\G\\hl\0", 8), invalid(winapi_nul_message)},
        {"0 unit in a bare name", std::u16string(u"hl\0.exe", 7), invalid(nul_in_data_message)},
        {"0 unit then a trailing separator", std::u16string(u"C:\\\0\\", 5), invalid(no_file_name_message)},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        FakeKernel32 system;
        const SystemResult<std::u16string> result = resolve(system, row.program);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), row.expected);
        EXPECT_TRUE(system.events.empty()) << system.events.front();
    }
}

// The search for "game" with every source of directories present, as (event, candidate) in the order
// the search meets them; a candidate is looked for with GetFileAttributesW.
struct SearchStep {
    std::string event;
    std::u16string candidate;
};

const std::vector<SearchStep> full_search = {
    {"GetFileAttributesW F:\\c1\\game.exe", u"F:\\c1\\game.exe"},
    {"GetFileAttributesW F:\\c2\\game.exe", u"F:\\c2\\game.exe"},
    {"GetModuleFileNameW", u""},
    {"GetFileAttributesW C:\\Games\\Demo\\game.exe", u"C:\\Games\\Demo\\game.exe"},
    {"GetSystemDirectoryW", u""},
    {"GetFileAttributesW C:\\Windows\\system32\\game.exe", u"C:\\Windows\\system32\\game.exe"},
    {"GetWindowsDirectoryW", u""},
    {"GetFileAttributesW C:\\Windows\\game.exe", u"C:\\Windows\\game.exe"},
    {"GetEnvironmentVariableW PATH", u""},
    {"GetFileAttributesW D:\\p1\\game.exe", u"D:\\p1\\game.exe"},
    {"GetFileAttributesW D:\\p;2\\game.exe", u"D:\\p;2\\game.exe"},
    {"GetFileAttributesW E:\\p3\\game.exe", u"E:\\p3\\game.exe"},
};

TEST(ResolveProgram, BareNameSearchTakesTheFirstDirectoryThatHasIt) {
    const NativeString child_path = native(u"F:\\c1;;F:\\c2");
    for (std::size_t found = 0; found <= full_search.size(); ++found) {
        if (found < full_search.size() && full_search[found].candidate.empty()) {
            continue;
        }
        const bool none = found == full_search.size();
        SCOPED_TRACE(none ? std::string("found nowhere") : show(full_search[found].candidate));
        FakeKernel32 system;
        system.own_path = u"D:\\p1;\"D:\\p;2\";;E:\\p3";
        // Every later candidate exists too: the first one must win.
        std::vector<std::string> expected_events;
        for (std::size_t i = 0; i < full_search.size(); ++i) {
            if (i >= found && !full_search[i].candidate.empty()) {
                system.files.insert(full_search[i].candidate);
            }
            if (i <= found) {
                expected_events.push_back(full_search[i].event);
            }
        }
        const SystemResult<std::u16string> result = resolve(system, u"game", child_path);
        EXPECT_EQ(system.events, expected_events);
        if (none) {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), program_not_found);
        } else {
            ASSERT_TRUE(result.has_value()) << ::testing::PrintToString(result.error());
            EXPECT_EQ(show(*result), show(full_search[found].candidate));
        }
    }
}

TEST(ResolveProgram, BareNameGetsExeOnlyWithoutAnyDot) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"game", u"C:\\Games\\Demo\\game.exe"},     {u"game.bin", u"C:\\Games\\Demo\\game.bin"},
        {u"game.exe", u"C:\\Games\\Demo\\game.exe"}, {u"my.game.v2", u"C:\\Games\\Demo\\my.game.v2"},
        {u".game", u"C:\\Games\\Demo\\.game"},       {u"game.", u"C:\\Games\\Demo\\game."},
    };
    for (const auto& [name, candidate] : cases) {
        SCOPED_TRACE(show(name));
        FakeKernel32 system;
        system.files.insert(candidate);
        const SystemResult<std::u16string> result = resolve(system, name);
        ASSERT_TRUE(result.has_value()) << ::testing::PrintToString(result.error());
        EXPECT_EQ(show(*result), show(candidate));
        EXPECT_EQ(system.arguments_of("GetFileAttributesW"), std::vector<std::string>{show(candidate)});
    }
}

TEST(ResolveProgram, DirectoriesThatCannotBeReadAreSkipped) {
    // clang-format off
    expect_resolved({
        {"no child search path: the launcher's directory first", u"game", {}, u"C:\\Windows\\game.exe",
         {"C:\\Games\\Demo\\game.exe", "C:\\Windows\\system32\\game.exe", "C:\\Windows\\game.exe"}},
        {"executable path unreadable", u"game", [](FakeKernel32& s) { s.executable_error = 5; },
         u"C:\\Windows\\game.exe", {"C:\\Windows\\system32\\game.exe", "C:\\Windows\\game.exe"}},
        {"executable path without a parent", u"game", [](FakeKernel32& s) { s.executable = u"C:"; },
         u"C:\\Windows\\game.exe", {"C:\\Windows\\system32\\game.exe", "C:\\Windows\\game.exe"}},
        {"system directory unreadable", u"game", [](FakeKernel32& s) { s.system_directory.reset(); },
         u"C:\\Windows\\game.exe", {"C:\\Games\\Demo\\game.exe", "C:\\Windows\\game.exe"}},
        {"Windows directory unreadable", u"game",
         [](FakeKernel32& s) {
             s.windows_directory.reset();
             s.own_path = u"E:\\p3";
             s.files = {u"E:\\p3\\game.exe"};
         },
         u"E:\\p3\\game.exe",
         {"C:\\Games\\Demo\\game.exe", "C:\\Windows\\system32\\game.exe", "E:\\p3\\game.exe"}},

    }, {u"C:\\Windows\\game.exe"});
    // clang-format on
}

TEST(ResolveProgram, UnsetPathEndsTheSearch) {
    FakeKernel32 system;
    const SystemResult<std::u16string> result = resolve(system, u"game");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), program_not_found);
    ASSERT_FALSE(system.events.empty());
    EXPECT_EQ(system.events.back(), "GetEnvironmentVariableW PATH");
}

TEST(ResolveProgram, LongPathIsReadThroughTheBufferRule) {
    FakeKernel32 system;
    system.own_path = u"X:\\" + std::u16string(600, u'a') + u";E:\\p3";
    system.files = {u"E:\\p3\\game.exe"};
    const SystemResult<std::u16string> result = resolve(system, u"game");
    ASSERT_TRUE(result.has_value()) << ::testing::PrintToString(result.error());
    EXPECT_EQ(show(*result), "E:\\p3\\game.exe");
    EXPECT_EQ(system.count_of("GetEnvironmentVariableW PATH"), 2u);
}

TEST(ResolveProgram, CandidateThatCannotBeMadeFullFailsTheSearch) {
    FakeKernel32 system;
    system.own_path = u"rel;E:\\p3";
    system.files = {u"E:\\p3\\game.exe"};
    system.full_path_errors[u"rel\\game.exe"] = 206;
    const SystemResult<std::u16string> result = resolve(system, u"game");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SystemError::os_code(206));
}

}  // namespace
}  // namespace ostrand
