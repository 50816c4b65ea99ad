#include "plan.hpp"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "../support/fixed_arguments.hpp"
#include "../support/unit_text.hpp"

namespace ostrand {
namespace {

using test_support::text;

using Arguments = std::vector<std::string>;

const Arguments& fixed = test_support::fixed_arguments;

Arguments concat(Arguments head, const Arguments& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const NativeString launcher_path = text(R"(C:\Games\x\launcher.exe)");

TEST(LaunchPlan, WorkedExample) {
    const LaunchPlan plan =
        build_launch_plan(launcher_path, {"launcher.exe", "A", "B", "-D3D9", "-fullscreen"}, true, "zorv");

    EXPECT_EQ(plan.program_path.bytes(), R"(C:\Games\x\hl2.exe)");
    EXPECT_EQ(plan.cache_path.bytes(), R"(C:\Games\x\dxvk-cache)");
    EXPECT_EQ(plan.arguments, concat(concat({"A", "B", "-fullscreen"}, fixed), {"-mobile"}));
    ASSERT_EQ(plan.environment_overrides.size(), 3u);
    EXPECT_EQ(plan.environment_overrides[0].name.bytes(), "DXVK_STATE_CACHE");
    EXPECT_EQ(plan.environment_overrides[0].value.bytes(), "1");
    EXPECT_EQ(plan.environment_overrides[1].name.bytes(), "ZORV_STATE_CACHE_PATH");
    EXPECT_EQ(plan.environment_overrides[1].value.bytes(), R"(C:\Games\x\dxvk-cache)");
    EXPECT_EQ(plan.environment_overrides[2].name.bytes(), "DXVK_ASYNC");
    EXPECT_EQ(plan.environment_overrides[2].value.bytes(), "1");
}

// The game gets the player's arguments that are kept, `user`, then the fixed ones and what follows them.
struct ArgumentCase {
    std::string_view name;
    Arguments own;
    bool fragment_density_map;
    Arguments user;
    Arguments tail;
};

TEST(LaunchPlan, ArgumentList) {
    const Arguments windowed = concat(fixed, {"-windowed"});
    const ArgumentCase cases[] = {
        {"no user arguments", {"launcher.exe"}, false, {}, windowed},
        {"no user arguments, probe true", {"launcher.exe"}, true, {}, concat(windowed, {"-mobile"})},
        {"-full stays in place", {"p", "a", "-full", "b"}, false, {"a", "-full", "b"}, fixed},
        {"-fullscreen with probe", {"p", "-fullscreen"}, true, {"-fullscreen"}, concat(fixed, {"-mobile"})},
        {"-FULL is no request", {"p", "-FULL"}, false, {"-FULL"}, windowed},
        {"-Fullscreen is no request", {"p", "-Fullscreen"}, false, {"-Fullscreen"}, windowed},
        {"-fullscreen with more",
         {"p", "-fullscreen1", "-full "},
         false,
         {"-fullscreen1", "-full "},
         windowed},
        {"program name is never a request", {"-fullscreen"}, false, {}, windowed},
        {"-d3d9 in any case, every one",
         {"p", "-d3d9", "a", "-D3D9", "b", "-d3D9", "-D3d9"},
         false,
         {"a", "b"},
         windowed},
        {"-d3d9 with a space, or longer, is forwarded",
         {"p", " -d3d9", "-d3d9 ", "-d3d9x", "-d3d", "-dxlevel"},
         false,
         {" -d3d9", "-d3d9 ", "-d3d9x", "-d3d", "-dxlevel"},
         windowed},
        {"program name -d3d9 is simply dropped", {"-d3d9", "x"}, false, {"x"}, windowed},
        {"-d3d9 dropped before the full-screen test", {"p", "-D3D9", "-full"}, false, {"-full"}, fixed},
        {"empty argument forwarded", {"p", "", "a", ""}, false, {"", "a", ""}, windowed},
        {"repeated fixed arguments kept",
         {"p", "-game", "hl2", "-w", "640", "-dxlevel", "90", "-windowed", "-mobile"},
         false,
         {"-game", "hl2", "-w", "640", "-dxlevel", "90", "-windowed", "-mobile"},
         windowed},
        {"non-ASCII letters are not folded",
         {"p", "-d3d\xC3\x89", "-\xC3\x89"},
         false,
         {"-d3d\xC3\x89", "-\xC3\x89"},
         windowed},
        {"order kept around drops", {"p", "3", "-d3d9", "1", "-D3D9", "2"}, false, {"3", "1", "2"}, windowed},
    };
    for (const ArgumentCase& row : cases) {
        SCOPED_TRACE(row.name);
        const LaunchPlan plan = build_launch_plan(launcher_path, row.own, row.fragment_density_map, "zorv");
        EXPECT_EQ(plan.arguments, concat(row.user, row.tail));
    }
}

TEST(LaunchPlan, GameDirectoryIsTheEighteenthFixedArgument) {
    const LaunchPlan plan = build_launch_plan(launcher_path, {"p", "u"}, false, "other");
    ASSERT_EQ(plan.arguments.size(), 20u);
    EXPECT_EQ(plan.arguments[17], "-game");
    EXPECT_EQ(plan.arguments[18], "other");
    EXPECT_EQ(plan.arguments[19], "-windowed");
}

TEST(LaunchPlan, PathsBesideTheLauncher) {
    const struct PathCase {
        std::string_view executable;
        std::string_view program;
        std::string_view cache;
    } cases[] = {
        {R"(C:\Games\x\launcher.exe)", R"(C:\Games\x\hl2.exe)", R"(C:\Games\x\dxvk-cache)"},
        {R"(C:\launcher.exe)", R"(C:\hl2.exe)", R"(C:\dxvk-cache)"},
        {"launcher.exe", "hl2.exe", "dxvk-cache"},
        {"", R"(.\hl2.exe)", R"(.\dxvk-cache)"},
        {R"(C:\)", R"(.\hl2.exe)", R"(.\dxvk-cache)"},
        {R"(\\server\share)", R"(.\hl2.exe)", R"(.\dxvk-cache)"},
        {R"(\\server\share\launcher.exe)", R"(\\server\share\hl2.exe)", R"(\\server\share\dxvk-cache)"},
        {R"(C:launcher.exe)", R"(C:hl2.exe)", R"(C:dxvk-cache)"},
        {R"(C:/Games/launcher.exe)", R"(C:/Games\hl2.exe)", R"(C:/Games\dxvk-cache)"},
        {R"(\\?\C:\Games\\launcher.exe)", R"(\\?\C:\Games\hl2.exe)", R"(\\?\C:\Games\dxvk-cache)"},
        {R"(\\?\C:\a/b)", R"(\\?\C:\hl2.exe)", R"(\\?\C:\dxvk-cache)"},
        {R"(\\?\UNC\server\share\launcher.exe)", R"(\\?\UNC\server\share\hl2.exe)",
         R"(\\?\UNC\server\share\dxvk-cache)"},
    };
    for (const PathCase& row : cases) {
        SCOPED_TRACE(row.executable);
        const LaunchPlan plan = build_launch_plan(text(row.executable), {"p"}, false, "zorv");
        EXPECT_EQ(plan.program_path.bytes(), row.program);
        EXPECT_EQ(plan.cache_path.bytes(), row.cache);
        EXPECT_TRUE(plan.program_path.known_utf8());
        ASSERT_EQ(plan.environment_overrides.size(), 3u);
        EXPECT_EQ(plan.environment_overrides[1].value, plan.cache_path);
    }
}

TEST(LaunchPlan, UnpairedSurrogatesReachThePlanUnchanged) {
    const struct UnitsPathCase {
        std::u16string executable;
        std::u16string program;
        std::u16string cache;
    } cases[] = {
        {u"C:\\G\xD800\\launcher.exe", u"C:\\G\xD800\\hl2.exe", u"C:\\G\xD800\\dxvk-cache"},
        {u"C:\\\xDE00\\x\\l.exe", u"C:\\\xDE00\\x\\hl2.exe", u"C:\\\xDE00\\x\\dxvk-cache"},
        {u"\\\\?\\C:\\\xD83D\\launcher.exe", u"\\\\?\\C:\\\xD83D\\hl2.exe", u"\\\\?\\C:\\\xD83D\\dxvk-cache"},
        {u"\xDBFF\\launcher\xDC00.exe", u"\xDBFF\\hl2.exe", u"\xDBFF\\dxvk-cache"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        const UnitsPathCase& row = cases[i];
        const LaunchPlan plan = build_launch_plan(native_from_utf16(row.executable), {"p"}, false, "zorv");
        EXPECT_EQ(native_to_utf16(plan.program_path), row.program);
        EXPECT_EQ(native_to_utf16(plan.cache_path), row.cache);
        EXPECT_FALSE(plan.program_path.known_utf8());
        ASSERT_EQ(plan.environment_overrides.size(), 3u);
        EXPECT_EQ(native_to_utf16(plan.environment_overrides[1].value), row.cache);
    }
}

}  // namespace
}  // namespace ostrand
