#include "win/child_command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/command_line_cases.hpp"
#include "../support/unit_text.hpp"
#include "win/own_inputs.hpp"

namespace ostrand {
namespace {

using test_support::native;

std::vector<NativeString> native_list(const std::vector<std::u16string>& list) {
    std::vector<NativeString> result;
    for (const std::u16string& units : list) {
        result.push_back(native(units));
    }
    return result;
}

std::u16string encode_units(std::u16string_view program, const std::vector<std::u16string>& arguments) {
    SystemResult<std::u16string> line = encode_command_line(native(program), native_list(arguments));
    EXPECT_TRUE(line.has_value());
    return line ? *line : std::u16string();
}

using test_support::show;

struct ArgumentRow {
    const char* label;
    std::u16string argument;
    std::u16string written;
};

// Each argument alone after the program "p": the line is `"p" ` and the written form.
const ArgumentRow argument_rows[] = {
    {"plain", u"-novid", u"-novid"},
    {"space quotes", u"-refresh 0", uR"("-refresh 0")"},
    {"empty quotes", u"", uR"("")"},
    {"tab quotes", u"a\tb", u"\"a\tb\""},
    {"quote escaped, unquoted", uR"(a"b)", uR"(a\"b)"},
    {"backslash before quote", uR"(a\"b)", uR"(a\\\"b)"},
    {"two backslashes before quote", uR"(a\\"b)", uR"(a\\\\\"b)"},
    {"backslash not before quote", uR"(a\b)", uR"(a\b)"},
    {"unquoted trailing backslash", uR"(C:\x\)", uR"(C:\x\)"},
    {"quoted trailing backslash doubled", uR"(C:\my x\)", uR"("C:\my x\\")"},
    {"quoted trailing run doubled", uR"(x y\\)", uR"("x y\\\\")"},
    {"quoted and escaped", uR"(say "hi")", uR"("say \"hi\"")"},
    {"only backslashes", uR"(\\)", uR"(\\)"},
    {"space ends the backslash run", uR"(\\ )", uR"("\\ ")"},
    {"only a quote", uR"(")", uR"(\")"},
    {"quote at the end of a quoted argument", uR"(a \")", uR"("a \\\"")"},
    {"line feed not quoted", u"a\nb", u"a\nb"},
    {"vertical tab not quoted", u"a\vb", u"a\vb"},
    {"carriage return not quoted", u"a\rb", u"a\rb"},
    {"no-break space not quoted", u"a\u00A0b", u"a\u00A0b"},
    {"ideographic space not quoted", u"a\u3000b", u"a\u3000b"},
    {"unpaired high surrogate", std::u16string{u'a', 0xD800, u'b'}, std::u16string{u'a', 0xD800, u'b'}},
    {"unpaired low surrogate at end", std::u16string{u'a', 0xDC00}, std::u16string{u'a', 0xDC00}},
    {"surrogate pair", std::u16string{0xD83D, 0xDE00}, std::u16string{0xD83D, 0xDE00}},
    {"surrogate with space", std::u16string{0xDFFF, u' '}, std::u16string{u'"', 0xDFFF, u' ', u'"'}},
};

TEST(EncodeCommandLine, WritesEachArgumentByTheQuotingAndEscapingRules) {
    for (const ArgumentRow& row : argument_rows) {
        SCOPED_TRACE(row.label);
        const std::u16string line = encode_units(u"p", {row.argument});
        EXPECT_EQ(show(line), show(u"\"p\" " + row.written));
    }
}

const struct LayoutRow {
    const char* label;
    std::u16string program;
    std::vector<std::u16string> arguments;
    std::u16string line;
} layout_rows[] = {
    {"no arguments: the quoted program alone", u"hl2.exe", {}, uR"("hl2.exe")"},
    {"program with spaces unchanged",
     uR"(C:\Program Files\x\hl2.exe)",
     {},
     uR"("C:\Program Files\x\hl2.exe")"},
    {"program never escaped", uR"(C:\a\\b\)", {u"x"}, uR"("C:\a\\b\" x)"},
    {"program with a surrogate", std::u16string{u'p', 0xDC00}, {}, std::u16string{u'"', u'p', 0xDC00, u'"'}},
    {"empty program", u"", {u"a"}, uR"("" a)"},
    {"one space between arguments, none after", u"p", {u"a", u"", u"b"}, uR"("p" a "" b)"},
    {"empty last argument", u"p", {u"a", u""}, uR"("p" a "")"},
    {"the game's command line",
     uR"(C:\Games\Demo\hl2.exe)",
     {u"-w", u"1280", u"-h", u"720", u"-novid", u"-condebug", u"-conclearlog", u"-high", u"-refresh 0",
      u"-noasserts", u"-hushasserts", u"-dxlevel", u"98", u"-vulkan", u"-gamepadui", u"-steam", u"-game",
      u"zorv", u"-windowed"},
     uR"("C:\Games\Demo\hl2.exe" -w 1280 -h 720 -novid -condebug -conclearlog -high "-refresh 0" )"
     uR"(-noasserts -hushasserts -dxlevel 98 -vulkan -gamepadui -steam -game zorv -windowed)"},
};

TEST(EncodeCommandLine, QuotesTheProgramAndSeparatesArgumentsBySingleSpaces) {
    for (const LayoutRow& row : layout_rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(show(encode_units(row.program, row.arguments)), show(row.line));
    }
}

const struct NulRow {
    const char* label;
    std::vector<std::u16string> arguments;
} nul_rows[] = {
    {"nul alone", {std::u16string(1, u'\0')}},
    {"nul at the start", {std::u16string{u'\0', u'a'}}},
    {"nul at the end", {std::u16string{u'a', u'\0'}}},
    {"nul in a quoted argument", {std::u16string{u'a', u' ', u'\0', u'b'}}},
    {"nul in a later argument", {u"-novid", u"x y", std::u16string{u'z', u'\0'}}},
    {"nul before a quote", {std::u16string{u'\\', u'\0', u'"'}}},
};

TEST(EncodeCommandLine, RefusesANulUnitInAnyArgumentAsAWhole) {
    for (const NulRow& row : nul_rows) {
        SCOPED_TRACE(row.label);
        const SystemResult<std::u16string> line =
            encode_command_line(native(u"p"), native_list(row.arguments));
        ASSERT_FALSE(line.has_value());
        EXPECT_FALSE(line.error().is_os_code());
        EXPECT_EQ(line.error().kind(), SystemErrorKind::InvalidInput);
        EXPECT_EQ(line.error().message(), "nul byte found in provided data");
    }
}

void expect_round_trip(const test_support::CommandLineCase& sample) {
    const std::u16string line = encode_units(sample.program_path, sample.arguments);
    const std::vector<NativeString> split = split_command_line(line);
    std::vector<std::u16string> expected = {sample.program_path};
    expected.insert(expected.end(), sample.arguments.begin(), sample.arguments.end());
    ASSERT_EQ(split.size(), expected.size()) << show(line);
    for (std::size_t i = 0; i < split.size(); ++i) {
        EXPECT_EQ(native_to_utf16(split[i]), expected[i]) << "element " << i << " of " << show(line);
    }
}

TEST(EncodeCommandLine, SplitsBackIntoTheSameArgumentsForTheEdgeCases) {
    for (const ArgumentRow& row : argument_rows) {
        SCOPED_TRACE(row.label);
        expect_round_trip({u"p", {row.argument}});
        expect_round_trip({uR"(C:\my dir\)", {row.argument, row.argument, u""}});
    }
}

TEST(EncodeCommandLine, SplitsBackIntoTheSameArgumentsForSeededCases) {
    test_support::SeededBytes bytes(0x6F737472616E64ull);
    for (int i = 0; i < 4000; ++i) {
        const test_support::CommandLineCase sample = test_support::generate_command_line_case(bytes);
        SCOPED_TRACE(i);
        expect_round_trip(sample);
        if (HasFailure()) {
            break;
        }
    }
}

}  // namespace
}  // namespace ostrand
