#include "win/strings/native_string.hpp"

#include <gtest/gtest.h>

#include <random>

#include "win/strings/unicode_tables.hpp"

namespace ostrand {
namespace {

TEST(NativeString, ConvertsUnitsToGeneralisedUtf8) {
    const struct ConversionCase {
        const char* label;
        std::u16string units;
        std::string bytes;
        bool text;
    } cases[] = {
        {"ascii", u"abc", "abc", true},
        {"two-byte", u"\u00e9", "\xC3\xA9", true},
        {"three-byte", u"\u20ac", "\xE2\x82\xAC", true},
        {"valid pair", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80", true},
        {"lone low", {0xDE00}, "\xED\xB8\x80", false},
        {"high then letter", {0xD800, 0x41}, "\xED\xA0\x80\x41", false},

        {"high at end", {0x61, 0xDBFF}, "a\xED\xAF\xBF", false},
        {"low before high", {0xDC00, 0xD800}, "\xED\xB0\x80\xED\xA0\x80", false},
        {"two highs then low", {0xD800, 0xD800, 0xDC00}, "\xED\xA0\x80\xF0\x90\x80\x80", false},
        {"nul", {0x61, 0x00, 0x62}, std::string("a\0b", 3), true},
        {"empty", u"", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const NativeString s = native_from_utf16(c.units);
        EXPECT_EQ(s.bytes(), c.bytes);
        EXPECT_EQ(s.known_utf8(), c.text);
        EXPECT_EQ(native_to_utf16(s), c.units);
        auto text = native_to_text(s);
        EXPECT_EQ(text.has_value(), c.text);
        if (!c.text) {
            EXPECT_EQ(text.error(), s);  // handed back unchanged
        }
    }
}

TEST(NativeString, TextScanRunsWhenTheFlagIsClear) {
    // A string built from bytes without the flag is still text when no encoded surrogate is there.
    EXPECT_TRUE(native_to_text(NativeString::from_bytes("\xE2\x82\xAC", false)).has_value());
    EXPECT_FALSE(native_to_text(NativeString::from_bytes("x\xED\xA0\x80", false)).has_value());
    // 0xED followed by a byte below 0xA0 is an ordinary character (U+D000..U+D7FF).
    EXPECT_TRUE(native_to_text(NativeString::from_bytes("\xED\x9F\xBF", false)).has_value());
}

TEST(NativeString, AppendJoinsSplitSurrogatePairs) {
    struct Case {
        const char* label;
        std::u16string left, right;
    } cases[] = {
        {"high + low", {0xD83D}, {0xDE00}},    {"text + low", u"ab", {0xDE00, 0x63}},
        {"high + text", {0x61, 0xD83D}, u"x"}, {"high + high", {0xD83D}, {0xD83D}},
        {"low + low", {0xDC00}, {0xDE00}},     {"empty + low", u"", {0xDE00}},
        {"high + empty", {0xD83D}, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        NativeString s = native_from_utf16(c.left);
        s.append(native_from_utf16(c.right));
        EXPECT_EQ(s, native_from_utf16(c.left + c.right));
        EXPECT_EQ(native_to_utf16(s), c.left + c.right);
    }
    NativeString joined = native_from_utf16(std::u16string{0xD83D});
    joined.append(native_from_utf16(std::u16string{0xDE00}));
    EXPECT_EQ(joined.bytes(), "\xF0\x9F\x98\x80");
    EXPECT_TRUE(native_to_text(joined).has_value());
}

TEST(NativeString, ArbitraryUnitsRoundTrip) {
    std::mt19937 random(20261209);
    const char16_t alphabet[] = {0x0,    0x41,   0x7F,   0x80,   0x7FF,  0x800,  0xD7FF,
                                 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
    for (int round = 0; round < 5000; ++round) {
        std::u16string units(random() % 12, u'\0');
        for (auto& u : units) {
            u = random() % 3 == 0 ? static_cast<char16_t>(random())
                                  : alphabet[random() % std::size(alphabet)];
        }
        const NativeString s = native_from_utf16(units);
        ASSERT_EQ(native_to_utf16(s), units) << "round " << round;
        // Cutting anywhere and appending again gives the same string.
        const std::size_t cut = units.empty() ? 0 : random() % units.size();
        NativeString joined = native_from_utf16(units.substr(0, cut));
        joined.append(native_from_utf16(units.substr(cut)));
        ASSERT_EQ(joined, s) << "round " << round;
    }
}

TEST(QuotedForm, EscapesAsTheReportShowsThem) {
    struct Case {
        const char* label;
        std::u16string units;
        std::string quoted;
    } cases[] = {
        {"lone surrogate", {0x61, 0xD800, 0x62}, R"("a\u{d800}b")"},
        {"escapes", u"t\tq\"b\\r\rn\n0" + std::u16string(1, 0), R"("t\tq\"b\\r\rn\n0\0")"},
        {"single quote stays", u"it's", R"("it's")"},
        {"control", u"\u0001\u007f", R"("\u{1}\u{7f}")"},
        {"combining mark", u"e\u0301", R"("e\u{301}")"},
        {"format char", u"\u200b", R"("\u{200b}")"},
        {"no-break space", u"\u00a0", R"("\u{a0}")"},
        {"line separator", u"\u2028", R"("\u{2028}")"},
        {"letters stay", u"\u00e9\u4e2d", "\"\xC3\xA9\xE4\xB8\xAD\""},
        {"astral emoji stays", {0xD83D, 0xDE00}, "\"\xF0\x9F\x98\x80\""},
        {"private use", u"\ue000", R"("\u{e000}")"},
        {"unassigned", u"\u0378", R"("\u{378}")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(quoted_form(native_from_utf16(c.units)), c.quoted);
    }
}

TEST(UnicodeTables, ClassesComeFromTheCharacterDatabase) {
    struct Case {
        char32_t cp;
        bool printable, extend;
    } cases[] = {
        {U' ', true, false},    {U'a', true, false},    {0x7F, false, false},  {0x85, false, false},
        {0xAD, false, false},   {0x300, true, true},    {0x36F, true, true},   {0x200D, false, false},
        {0x3000, false, false}, {0x1F600, true, false}, {0xE0100, true, true}, {0x10FFFF, false, false},
        {0x4E00, true, false},  {0x9FFF, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << static_cast<std::uint32_t>(c.cp));
        EXPECT_EQ(is_printable(c.cp), c.printable);
        EXPECT_EQ(is_grapheme_extend(c.cp), c.extend);
    }
}

}  // namespace
}  // namespace ostrand
