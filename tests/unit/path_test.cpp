#include "win/path.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "../support/path_properties.hpp"

namespace ostrand {
namespace {

using test_support::text;

TEST(PathHead, RecognisesPrefixRootAndLeadingDot) {
    const struct HeadCase {
        std::string_view path;
        PathPrefix prefix;
        std::size_t prefix_length;
        bool root;
        bool leading_dot;
    } cases[] = {
        {"", PathPrefix::None, 0, false, false},
        {R"(C:)", PathPrefix::Drive, 2, false, false},
        {R"(z:/x)", PathPrefix::Drive, 2, true, false},
        {R"(1:\x)", PathPrefix::None, 0, false, false},
        {R"([:\x)", PathPrefix::None, 0, false, false},  // the units after Z and z
        {R"({:\x)", PathPrefix::None, 0, false, false},
        {R"(C:.)", PathPrefix::Drive, 2, false, true},
        {R"(C:./x)", PathPrefix::Drive, 2, false, true},
        {R"(C:.x)", PathPrefix::Drive, 2, false, false},
        {R"(.)", PathPrefix::None, 0, false, true},
        {R"(.\x)", PathPrefix::None, 0, false, true},
        {R"(..)", PathPrefix::None, 0, false, false},
        {R"(.x)", PathPrefix::None, 0, false, false},
        {R"(\x)", PathPrefix::None, 0, true, false},
        {R"(\\?\UNC\srv\sh\x)", PathPrefix::LiteralUnc, 14, true, false},
        {R"(\\?\UNC/srv\sh)", PathPrefix::LiteralUnc, 14, false, false},
        {R"(\\?\UNC\srv/x\sh)", PathPrefix::LiteralUnc, 16, false, false},
        {R"(\\?\UNC\srv)", PathPrefix::LiteralUnc, 11, false, false},
        {R"(\\?\UNC\srv\)", PathPrefix::LiteralUnc, 11, true, false},
        {R"(\\?\UNC\)", PathPrefix::LiteralUnc, 8, false, false},
        {R"(\\?\unc\srv\sh)", PathPrefix::Literal, 7, true, false},
        {R"(\\?\UNC)", PathPrefix::Literal, 7, false, false},
        {R"(\\?\UNCx\y)", PathPrefix::Literal, 8, true, false},
        {R"(\\?\C:)", PathPrefix::LiteralDrive, 6, false, false},
        {R"(\\?\C:\x)", PathPrefix::LiteralDrive, 6, true, false},
        {R"(\\?\C:/x)", PathPrefix::LiteralDrive, 6, true, false},
        {R"(\\?\C:x)", PathPrefix::Literal, 7, false, false},
        {R"(\\?\a/b\c)", PathPrefix::Literal, 7, true, false},
        {R"(\\?\)", PathPrefix::Literal, 4, false, false},
        {R"(\\?\.)", PathPrefix::Literal, 5, false, false},
        {R"(\\?/C:\x)", PathPrefix::Unc, 6, true, false},
        {R"(\\.\COM1\x)", PathPrefix::Device, 8, true, false},
        {R"(//./X/y)", PathPrefix::Device, 5, true, false},
        {R"(\\.\)", PathPrefix::Device, 4, false, false},
        {R"(\\srv\sh\x)", PathPrefix::Unc, 8, true, false},
        {R"(/\srv/sh)", PathPrefix::Unc, 8, false, false},
        {R"(\\srv)", PathPrefix::None, 0, true, false},
        {R"(\\srv\)", PathPrefix::None, 0, true, false},
        {R"(\\\sh)", PathPrefix::None, 0, true, false},
        {R"(\\\a\b)", PathPrefix::None, 0, true, false},
        {R"(\\.)", PathPrefix::None, 0, true, false},
    };
    for (const HeadCase& row : cases) {
        SCOPED_TRACE(row.path);
        const PathHead head = parse_path_head(row.path);
        EXPECT_EQ(head.prefix, row.prefix);
        EXPECT_EQ(head.prefix_length, row.prefix_length);
        EXPECT_EQ(head.has_root, row.root);
        EXPECT_EQ(head.has_leading_dot, row.leading_dot);
    }
}

struct ParentCase {
    std::string_view path;
    std::optional<std::string_view> parent;
};

void expect_parents(const std::vector<ParentCase>& cases) {
    for (const ParentCase& row : cases) {
        SCOPED_TRACE(row.path);
        const std::optional<NativeString> parent = path_parent(text(row.path));
        ASSERT_EQ(parent.has_value(), row.parent.has_value());
        if (parent) {
            EXPECT_EQ(parent->bytes(), *row.parent);
            EXPECT_TRUE(parent->known_utf8());
        }
    }
}

TEST(PathParent, DriveAndRootedPaths) {
    expect_parents({
        {R"(C:\Games\x\launcher.exe)", R"(C:\Games\x)"},
        {R"(C:\launcher.exe)", R"(C:\)"},
        {R"(C:\)", std::nullopt},
        {R"(C:)", std::nullopt},
        {R"(\)", std::nullopt},
        {R"(/)", std::nullopt},
        {"", std::nullopt},
        {R"(C:x\y)", R"(C:x)"},
        {R"(C:x)", R"(C:)"},
        {R"(C:\x\\y)", R"(C:\x)"},
        {R"(C:\x\.\y)", R"(C:\x)"},
        {R"(C:\\x\\)", R"(C:\)"},
        {R"(C:/a/b/)", R"(C:/a)"},
        {R"(x/./)", ""},
        {R"(a\x/./)", R"(a)"},
        {R"(C:\.)", std::nullopt},
        {R"(C:\.\x)", R"(C:\)"},
        {R"(\x)", R"(\)"},
        {R"(C:\..)", R"(C:\)"},
        {R"(a\..\b)", R"(a\..)"},
    });
}

TEST(PathParent, SharesAndDevices) {
    expect_parents({
        {R"(\\server\share)", std::nullopt},
        {R"(\\server\share\)", std::nullopt},
        {R"(\\server\share\launcher.exe)", R"(\\server\share\)"},
        {R"(//server/share/a/b)", R"(//server/share/a)"},
        {R"(\\.\X\a)", R"(\\.\X\)"},
        {R"(\\.\X)", std::nullopt},
        {R"(\\server)", R"(\)"},
    });
}

TEST(PathParent, LiteralPathsKeepDotsAndSlashes) {
    expect_parents({
        {R"(\\?\C:\Games\launcher.exe)", R"(\\?\C:\Games)"},
        {R"(\\?\C:\a\.\b)", R"(\\?\C:\a\.)"},
        {R"(\\?\C:\a\.)", R"(\\?\C:\a)"},
        {R"(\\?\C:\a/b)", R"(\\?\C:\)"},
        {R"(\\?\C:\a/)", R"(\\?\C:\)"},
        {R"(\\?\C:\a\\)", R"(\\?\C:\)"},
        {R"(\\?\C:)", std::nullopt},
        {R"(\\?\C:\)", std::nullopt},
        {R"(\\?\UNC\server\share\x\launcher.exe)", R"(\\?\UNC\server\share\x)"},
        {R"(\\?\UNC\server\share)", std::nullopt},
        {R"(\\?\Volume{1}\x)", R"(\\?\Volume{1}\)"},
    });
}

TEST(PathParent, RelativeDots) {
    expect_parents({
        {"launcher.exe", ""},
        {".", ""},
        {"./", ""},
        {R"(.\\)", ""},
        {R"(.\x)", "."},
        {"..", ""},
        {R"(..\x)", ".."},
        {"C:.", std::nullopt},
        {R"(C:.\x)", "C:."},
        {R"(...)", ""},
    });
}

TEST(PathParent, UnpairedSurrogatesPassThrough) {
    const struct UnitsParentCase {
        std::u16string path;
        std::optional<std::u16string> parent;
    } cases[] = {
        {u"C:\\G\xD800\\launcher.exe", u"C:\\G\xD800"},
        {u"\xDE00\\x", u"\xDE00"},
        {u"C:\\\xD83D\\\xDE00", u"C:\\\xD83D"},
        {u"C:\\\xD83D\xDE00\\a", u"C:\\\xD83D\xDE00"},
        {u"\\\\?\\C:\\\xDC00/x\\y", u"\\\\?\\C:\\\xDC00/x"},
        {u"\xD800", u""},
    };
    for (const UnitsParentCase& row : cases) {
        SCOPED_TRACE(test_support::show(row.path));
        const std::optional<NativeString> parent = path_parent(native_from_utf16(row.path));
        ASSERT_EQ(parent.has_value(), row.parent.has_value());
        if (parent) {
            EXPECT_EQ(native_to_utf16(*parent), *row.parent);
            if (test_support::scan_generalised_utf8(parent->bytes()).holds_surrogate) {
                EXPECT_FALSE(parent->known_utf8());
            }
        }
    }
}

struct JoinCase {
    std::string_view base;
    std::string_view appended;
    std::string_view joined;
};

void expect_joins(const std::vector<JoinCase>& cases) {
    for (const JoinCase& row : cases) {
        SCOPED_TRACE(std::string(row.base) + " + " + std::string(row.appended));
        const NativeString joined = path_join(text(row.base), text(row.appended));
        EXPECT_EQ(joined.bytes(), row.joined);
        EXPECT_TRUE(joined.known_utf8());
    }
}

TEST(PathJoin, AppendsWithOneBackslashWhereNeeded) {
    expect_joins({
        {R"(C:\Games)", "hl2.exe", R"(C:\Games\hl2.exe)"},
        {R"(C:/Games/)", "hl2.exe", R"(C:/Games/hl2.exe)"},
        {R"(C:)", "hl2.exe", R"(C:hl2.exe)"},
        {"", "hl2.exe", "hl2.exe"},
        {".", "hl2.exe", R"(.\hl2.exe)"},
        {R"(\\server\share)", "hl2.exe", R"(\\server\share\hl2.exe)"},
        {R"(C:\Games)", "", R"(C:\Games\)"},
        {R"(C:\Games\\)", "x", R"(C:\Games\\x)"},
        {R"(C:x)", "y", R"(C:x\y)"},
        {R"(a)", R"(..\b/c)", R"(a\..\b/c)"},
        {R"(a)", "./b", R"(a\./b)"},
        {R"(\\.\X)", "y", R"(\\.\X\y)"},
        {"", "", ""},
    });
}

TEST(PathJoin, PrefixedAppendedPathReplacesBase) {
    expect_joins({
        {R"(C:\Games)", R"(D:\x)", R"(D:\x)"},
        {R"(C:\Games)", R"(D:x)", R"(D:x)"},
        {R"(\\?\C:\a)", R"(D:x)", R"(D:x)"},
        {R"(C:\Games)", R"(\\srv\sh\x)", R"(\\srv\sh\x)"},
        {R"(C:\Games)", R"(\\?\C:\a\..)", R"(\\?\C:\a\..)"},
    });
}

TEST(PathJoin, RootedAppendedPathKeepsOnlyBasePrefix) {
    expect_joins({
        {R"(C:\Games)", R"(\x)", R"(C:\x)"},
        {R"(C:\Games)", R"(/x)", R"(C:/x)"},
        {R"(\\server\share\g)", R"(\x)", R"(\\server\share\x)"},
        {R"(games\x)", R"(\y)", R"(\y)"},
        {R"(C:)", R"(\y)", R"(C:\y)"},
    });
}

TEST(PathJoin, LiteralBaseIsRebuiltFromComponents) {
    expect_joins({
        {R"(\\?\C:)", "hl2.exe", R"(\\?\C:\hl2.exe)"},
        {R"(\\?\C:\Games\\)", "hl2.exe", R"(\\?\C:\Games\hl2.exe)"},
        {R"(\\?\C:\a\b)", R"(..\c)", R"(\\?\C:\a\c)"},
        {R"(\\?\C:\a)", R"(\x\y)", R"(\\?\C:\x\y)"},
        {R"(\\?\C:\a)", R"(/x)", R"(\\?\C:\x)"},
        {R"(\\?\C:\a\\b\)", "c", R"(\\?\C:\a\b\c)"},
        {R"(\\?\C:/a)", "b", R"(\\?\C:\a\b)"},
        {R"(\\?\C:\a/b)", "c/d", R"(\\?\C:\a/b\c\d)"},
        {R"(\\?\C:\a\.\b)", R"(.\c\.\d)", R"(\\?\C:\a\.\b\c\d)"},
        {R"(\\?\C:\a\.)", R"(..\b)", R"(\\?\C:\a\.\b)"},
        {R"(\\?\C:\a\..)", R"(..)", R"(\\?\C:\a\..)"},
        {R"(\\?\C:\)", R"(..\..\x)", R"(\\?\C:\x)"},
        {R"(\\?\UNC\srv\sh\x)", "y", R"(\\?\UNC\srv\sh\x\y)"},
        {R"(\\?\UNC\srv\sh)", R"(\y)", R"(\\?\UNC\srv\sh\y)"},
        {R"(\\?\Volume{1})", "x", R"(\\?\Volume{1}\x)"},
        {R"(\\?\C:\Games)", "", R"(\\?\C:\Games\)"},
    });
}

TEST(PathJoin, SurrogatesAreNeitherPairedNorLost) {
    const struct UnitsJoinCase {
        std::u16string base;
        std::u16string appended;
        std::u16string joined;
    } cases[] = {
        {u"C:\\G\xD83D", u"\xDE00x", u"C:\\G\xD83D\\\xDE00x"},
        {u"C:\\G\xD800", u"hl2.exe", u"C:\\G\xD800\\hl2.exe"},
        {u"\\\\?\\C:\\\xDC00\\\\", u"hl2.exe", u"\\\\?\\C:\\\xDC00\\hl2.exe"},
        {u"\\\\?\\C:\\a\\\xD800", u"..\\\xDE00", u"\\\\?\\C:\\a\\\xDE00"},
        {u"C:\\\xD83D\xDE00", u"a", u"C:\\\xD83D\xDE00\\a"},
    };
    for (const UnitsJoinCase& row : cases) {
        SCOPED_TRACE(test_support::show(row.base) + " + " + test_support::show(row.appended));
        const NativeString joined = path_join(native_from_utf16(row.base), native_from_utf16(row.appended));
        EXPECT_EQ(native_to_utf16(joined), row.joined);
        EXPECT_EQ(joined.known_utf8(), !test_support::scan_generalised_utf8(joined.bytes()).holds_surrogate);
    }
}

// Random paths over the characters that the rules react to; the same seed every run.
TEST(PathProperties, HoldForGeneratedPaths) {
    std::mt19937 random(20240611);
    const auto symbols = [&](std::size_t max_length) {
        std::vector<std::uint8_t> out(random() % (max_length + 1));
        for (std::uint8_t& symbol : out) {
            symbol = static_cast<std::uint8_t>(random());
        }
        return out;
    };
    std::size_t plain_names = 0;
    for (int i = 0; i < 4000; ++i) {
        const NativeString path = path_properties::path_from_symbols(symbols(16));
        const std::string parent_failure = path_properties::check_parent_properties(path);
        ASSERT_EQ(parent_failure, "");

        NativeString name = path_properties::path_from_symbols(symbols(4));
        if (!path_properties::is_plain_name(name)) {
            name = (i % 2 == 0) ? text("hl2.exe") : native_from_utf16(u"\xDE00x");
        } else {
            ++plain_names;
        }
        const std::string join_failure = path_properties::check_join_properties(path, name);
        ASSERT_EQ(join_failure, "");
    }
    // The generator has to reach generated names too, not only the fallbacks.
    EXPECT_GT(plain_names, 200u);
}

}  // namespace
}  // namespace ostrand
