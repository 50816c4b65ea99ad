#include "win/environment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_kernel32.hpp"
#include "host/upper_table.hpp"
#include "report/fatal.hpp"

namespace ostrand {
namespace {

using test_support::native;

// A failure of the system's environment calls: fatal, with the code's short form after the message.
void expect_fatal_with_short_form(const FatalFailure& failure, std::string_view message, std::int32_t code) {
    EXPECT_EQ(failure.message, message);
    EXPECT_EQ(failure.error, SystemError::os_code(code));
    EXPECT_EQ(failure.form, ErrorForm::Short);
}

using testing::FakeKernel32;
using testing::show;

std::vector<std::string> entry_list(const EnvironmentMap& environment) {
    std::vector<std::string> out;
    for (const auto& [name, value] : environment.entries()) {
        out.push_back(show(name) + "=" + show(value));
    }
    return out;
}

// The block as its strings, each "name=value"; checks the two closing 0 units on the way.
std::vector<std::string> block_strings(const std::u16string& block) {
    std::vector<std::string> out;
    EXPECT_GE(block.size(), 2u);
    EXPECT_EQ(block.substr(block.size() - 2), std::u16string(2, u'\0'));
    std::size_t start = 0;
    while (start < block.size() && block[start] != u'\0') {
        const std::size_t end = block.find(u'\0', start);
        out.push_back(show(block.substr(start, end - start)));
        start = end + 1;
    }
    EXPECT_EQ(start + 1, block.size()) << "one 0 unit after the last string";
    return out;
}

// The launcher's three overrides, ordered by `comparer`.
OverrideSet launcher_overrides(const EnvNameComparer& comparer) {
    OverrideSet overrides(comparer);
    set_env_override(overrides, native(u"DXVK_STATE_CACHE"), native(u"1"));
    set_env_override(overrides, native(u"ZORV_STATE_CACHE_PATH"), native(u"D"));
    set_env_override(overrides, native(u"DXVK_ASYNC"), native(u"1"));
    return overrides;
}

const PortableEnvNameComparer portable;

const struct UpperRow {
    const char* label;
    char16_t unit;
    char16_t upper;
} upper_rows[] = {
    {"ASCII a", u'a', u'A'},
    {"ASCII z", u'z', u'Z'},
    {"ASCII upper unchanged", u'Q', u'Q'},
    {"underscore unchanged", u'_', u'_'},
    {"backtick unchanged", u'`', u'`'},
    {"brace unchanged", u'{', u'{'},
    {"Latin-1 e acute", 0x00E9, 0x00C9},
    {"Latin-1 y diaeresis to Latin Extended-A", 0x00FF, 0x0178},
    {"division sign unchanged", 0x00F7, 0x00F7},
    {"sharp s has no single upper case", 0x00DF, 0x00DF},
    {"micro sign unchanged: mu's own lower case is U+03BC", 0x00B5, 0x00B5},
    {"Latin Extended-A odd unit", 0x0101, 0x0100},
    {"Latin Extended-A even unit unchanged", 0x0100, 0x0100},
    {"Latin Extended-A pairs alternate", 0x0102, 0x0102},
    {"Latin Extended-A pairs alternate, lower", 0x0103, 0x0102},
    {"dotless i unchanged: I lowers to i", 0x0131, 0x0131},
    {"long s unchanged", 0x017F, 0x017F},
    {"title-case digraph unchanged", 0x01C5, 0x01C5},
    {"lower-case digraph", 0x01C6, 0x01C4},
    {"Greek alpha", 0x03B1, 0x0391},
    {"Greek final sigma unchanged: sigma lowers to U+03C3", 0x03C2, 0x03C2},
    {"Greek sigma", 0x03C3, 0x03A3},
    {"Cyrillic a", 0x0430, 0x0410},
    {"fullwidth a", 0xFF41, 0xFF21},
    {"Georgian small letter to Mtavruli", 0x10D0, 0x1C90},
    {"high surrogate unchanged", 0xD800, 0xD800},
    {"last high surrogate unchanged", 0xDBFF, 0xDBFF},
    {"low surrogate unchanged", 0xDC00, 0xDC00},
    {"last low surrogate unchanged", 0xDFFF, 0xDFFF},
    {"last unit unchanged", 0xFFFF, 0xFFFF},
};

TEST(UpperCaseUnit, MapsSingleUnitsToTheirSimpleUpperCase) {
    for (const UpperRow& row : upper_rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(static_cast<unsigned>(upper_case_unit(row.unit)), static_cast<unsigned>(row.upper));
    }
}

// Checks every unit against the character database the table was generated from, where it is installed
// (Debian's unicode-data): a unit maps to its simple upper case when that maps back to it with the simple
// lower case. A difference means the table is out of date: run tools/gen_upper_table.py.
TEST(UpperCaseUnit, AgreesWithTheCharacterDatabaseForEveryUnit) {
    std::ifstream database("/usr/share/unicode/UnicodeData.txt");
    if (!database) {
        GTEST_SKIP() << "UnicodeData.txt is not installed";
    }
    std::vector<char16_t> expected(0x10000);
    std::iota(expected.begin(), expected.end(), char16_t{0});
    std::vector<std::pair<unsigned long, unsigned long>> uppers;
    std::vector<unsigned long> lowers(0x110000, 0);
    std::string line;
    while (std::getline(database, line)) {
        // Field 0 is the code point, 12 its simple upper-case mapping, 13 its simple lower-case one.
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, ';');) {
            fields.push_back(field);
        }
        const unsigned long unit = std::stoul(fields[0], nullptr, 16);
        if (!fields.at(12).empty()) {
            uppers.emplace_back(unit, std::stoul(fields[12], nullptr, 16));
        }
        if (!fields.at(13).empty()) {
            lowers[unit] = std::stoul(fields[13], nullptr, 16);
        }
    }
    for (const auto& [unit, upper] : uppers) {
        if (unit <= 0xFFFF && upper <= 0xFFFF && lowers[upper] == unit) {
            expected[unit] = static_cast<char16_t>(upper);
        }
    }
    int mismatches = 0;
    for (std::size_t unit = 0; unit < expected.size() && mismatches < 10; ++unit) {
        if (upper_case_unit(static_cast<char16_t>(unit)) != expected[unit]) {
            ADD_FAILURE() << "unit " << std::hex << unit;
            ++mismatches;
        }
    }
}

const struct CompareRow {
    const char* label;
    std::u16string a;
    std::u16string b;
    std::weak_ordering order;
} compare_rows[] = {
    {"case ignored", u"Path", u"PATH", std::weak_ordering::equivalent},
    {"letters before underscore", u"AB", u"A_B", std::weak_ordering::less},
    {"lower-case letter before underscore", u"ab", u"A_B", std::weak_ordering::less},
    {"letter before backtick", u"a", u"`", std::weak_ordering::less},
    {"drive entry before letters", u"=C:", u"A", std::weak_ordering::less},
    {"proper prefix first", u"DXVK", u"dxvk_async", std::weak_ordering::less},
    {"longer after its prefix", u"ab", u"A", std::weak_ordering::greater},
    {"empty names equal", u"", u"", std::weak_ordering::equivalent},
    {"empty before any", u"", u"=", std::weak_ordering::less},
    {"compared after mapping", u"\u00FF", u"\u0100", std::weak_ordering::greater},
    {"y diaeresis in both cases", u"\u00FF", u"\u0178", std::weak_ordering::equivalent},
    {"final sigma is not sigma", u"\u03C2", u"\u03A3", std::weak_ordering::greater},
    {"sigma forms equal", u"\u03C3", u"\u03A3", std::weak_ordering::equivalent},
    {"units compared unsigned", u"\uFF41", u"z", std::weak_ordering::greater},
    {"surrogates by value", std::u16string{0xD800}, std::u16string{0xDC00}, std::weak_ordering::less},
    {"surrogate above ASCII", std::u16string{0xDFFF}, u"Z", std::weak_ordering::greater},
};

TEST(CompareEnvNames, PortableTableOrdersByUpperCaseUnitsThenLength) {
    for (const CompareRow& row : compare_rows) {
        SCOPED_TRACE(row.label);
        EXPECT_TRUE(portable.compare(row.a, row.b) == row.order);
        EXPECT_TRUE(portable.compare(row.b, row.a) == (0 <=> row.order));
    }
}

TEST(CompareEnvNames, SystemComparerPassesUnitCountsWithCaseIgnored) {
    FakeKernel32 env;
    const SystemEnvNameComparer system(env);
    const std::u16string left = u"dxvk_async-and-more";
    EXPECT_TRUE(system.compare(std::u16string_view(left).substr(0, 10), u"DXVK_ASYNC") == 0);
    EXPECT_TRUE(system.compare(u"", u"A") < 0);
    ASSERT_EQ(env.compared.size(), 2u);
    EXPECT_EQ(env.compared[0].first, u"dxvk_async");
    EXPECT_EQ(env.compared[0].second, u"DXVK_ASYNC");
    EXPECT_EQ(env.compared[1].first, u"");
}

TEST(CompareEnvNames, SystemComparerReadsTheThreeResults) {
    const std::pair<int, std::weak_ordering> rows[] = {
        {1, std::weak_ordering::less}, {2, std::weak_ordering::equivalent}, {3, std::weak_ordering::greater}};
    for (const auto& [returned, order] : rows) {
        SCOPED_TRACE(returned);
        FakeKernel32 env;
        env.compare_result = returned;
        EXPECT_TRUE(SystemEnvNameComparer(env).compare(u"A", u"B") == order);
    }
}

TEST(CompareEnvNames, SystemComparerFailureIsFatalWithTheSystemMessage) {
    for (const int returned : {0, 4, -1}) {
        SCOPED_TRACE(returned);
        FakeKernel32 env;
        env.compare_result = returned;
        env.last_error = 87;
        expect_fatal_with_short_form(
            testing::raised_failure([&] { (void)SystemEnvNameComparer(env).compare(u"A", u"B"); }),
            "comparing environment keys failed", 87);
    }
}

TEST(EnvironmentMap, KeepsTheFirstWrittenNameAndTheLastValue) {
    EnvironmentMap environment(portable);
    environment.set(native(u"Path"), native(u"1"));
    environment.set(native(u"PATH"), native(u"2"));
    environment.set(native(u"path"), native(u"3"));
    environment.set(native(u"B"), native(u""));
    environment.set(native(u"a"), native(u"x"));
    EXPECT_EQ(entry_list(environment), (std::vector<std::string>{"a=x", "B=", "Path=3"}));
}

TEST(EnvironmentMap, LooksUpWithCaseIgnored) {
    EnvironmentMap environment(portable);
    environment.set(native(u"Path"), native(std::u16string{u'C', u':', 0xD800}));
    const std::optional<NativeString> found = lookup_env(environment, native(u"PATH"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(native_to_utf16(*found), (std::u16string{u'C', u':', 0xD800}));
    EXPECT_FALSE(lookup_env(environment, native(u"PAT")).has_value());
    EXPECT_FALSE(lookup_env(environment, native(u"PATHS")).has_value());
}

const struct PathRow {
    const char* label;
    std::u16string name;
    bool raised;
} path_rows[] = {
    {"upper case", u"PATH", true},
    {"lower case", u"path", true},
    {"mixed case", u"pAtH", true},
    {"longer", u"PATHS", false},
    {"shorter", u"PAT", false},
    {"trailing nul", std::u16string{u'P', u'A', u'T', u'H', u'\0'}, false},
    {"fullwidth letters", u"\uFF30\uFF21\uFF34\uFF28", false},
    {"launcher variable", u"DXVK_ASYNC", false},
};

TEST(SetEnvOverride, RaisesPathOverriddenOnlyForPathInAnyCase) {
    for (const PathRow& row : path_rows) {
        SCOPED_TRACE(row.label);
        OverrideSet overrides(portable);
        set_env_override(overrides, native(row.name), native(u"v"));
        EXPECT_EQ(overrides.path_overridden, row.raised);
        EXPECT_EQ(overrides.variables.size(), 1u);
    }
}

TEST(SetEnvOverride, LauncherOverridesLeavePathAlone) {
    const OverrideSet overrides = launcher_overrides(portable);
    EXPECT_FALSE(overrides.path_overridden);
    EXPECT_EQ(entry_list(overrides.variables),
              (std::vector<std::string>{"DXVK_ASYNC=1", "DXVK_STATE_CACHE=1", "ZORV_STATE_CACHE_PATH=D"}));
}

const std::vector<std::string> worked_example_block = {
    "=C:=C:\\g",          "AB=3",       "A_B=2",        "dxvk_async=1",
    "DXVK_STATE_CACHE=1", "Path=C:\\w", "windir=C:\\w", "ZORV_STATE_CACHE_PATH=D",
};

const std::vector<std::u16string> worked_example_environment = {
    uR"(Path=C:\w)", uR"(=C:=C:\g)", u"dxvk_async=0", uR"(windir=C:\w)", u"A_B=2", u"AB=3",
};

// The block as spawn_child has it made: the merge, then the writing of what it gave.
SystemResult<std::u16string> merged_block(EnvApi& env, const OverrideSet& overrides) {
    const std::optional<EnvironmentMap> merged = merge_environment(env, overrides);
    if (!merged) {
        ADD_FAILURE() << "the merge gave nothing";
        return Failure{SystemError()};
    }
    return write_environment_block(*merged);
}

TEST(EnvironmentBlock, MergesTheLauncherOverridesIntoTheWorkedExample) {
    FakeKernel32 env;
    env.environment = worked_example_environment;
    const OverrideSet overrides = launcher_overrides(portable);
    SystemResult<std::u16string> block = merged_block(env, overrides);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block_strings(*block), worked_example_block);
    EXPECT_EQ(env.events, (std::vector<std::string>{"GetEnvironmentStringsW", "FreeEnvironmentStringsW"}));
}

TEST(EnvironmentBlock, SystemComparerGivesTheSameBlockAndFreesBeforeApplyingOverrides) {
    FakeKernel32 env;
    env.environment = worked_example_environment;
    const SystemEnvNameComparer system(env);
    const OverrideSet overrides = launcher_overrides(system);
    env.events.clear();
    env.compared.clear();

    SystemResult<std::u16string> block = merged_block(env, overrides);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block_strings(*block), worked_example_block);

    // The system's block is released once, after reading it and before the first comparison that
    // involves a name that only the overrides hold.
    EXPECT_EQ(env.events, (std::vector<std::string>{"GetEnvironmentStringsW", "FreeEnvironmentStringsW"}));
    const auto involves_override_only_name = [](const std::pair<std::u16string, std::u16string>& call) {
        return call.first == u"DXVK_STATE_CACHE" || call.second == u"DXVK_STATE_CACHE";
    };
    const std::size_t compares_before_free = env.compared_when_freed;
    ASSERT_LT(compares_before_free, env.compared.size());
    EXPECT_TRUE(std::none_of(env.compared.begin(),
                             env.compared.begin() + static_cast<std::ptrdiff_t>(compares_before_free),
                             involves_override_only_name));
    EXPECT_TRUE(std::any_of(env.compared.begin() + static_cast<std::ptrdiff_t>(compares_before_free),
                            env.compared.end(), involves_override_only_name));
}

struct MergeRow {
    const char* label;
    std::vector<std::u16string> system_strings;
    std::vector<std::string> entries;
};

// Each merged with the single override "ZZ=1".
const MergeRow merge_rows[] = {
    {"empty environment", {}, {"ZZ=1"}},
    {"same name twice: first name, last value", {u"Foo=1", u"FOO=2"}, {"Foo=2", "ZZ=1"}},
    {"empty value kept", {u"X="}, {"X=", "ZZ=1"}},
    {"string without separator dropped", {u"NOEQUALS", u"A=1"}, {"A=1", "ZZ=1"}},
    {"leading separator alone is no separator", {u"=", u"=C:"}, {"ZZ=1"}},
    {"drive entry keeps its leading =", {uR"(=C:=C:\g)", u"=D:=D:\\"}, {"=C:=C:\\g", "=D:=D:\\", "ZZ=1"}},
    {"name of one =", {u"==x"}, {"==x", "ZZ=1"}},
    {"value may hold =", {u"A=b=c"}, {"A=b=c", "ZZ=1"}},
    {"inherited name in another case takes the override value", {u"zz=0"}, {"zz=1"}},
    {"unpaired surrogates kept", {std::u16string{0xDC00, u'=', 0xD800}}, {"ZZ=1", "\\u{dc00}=\\u{d800}"}},
};

TEST(MergeEnvironment, TakesEveryInheritedVariableByTheMapRules) {
    for (const MergeRow& row : merge_rows) {
        SCOPED_TRACE(row.label);
        FakeKernel32 env;
        env.environment = row.system_strings;
        OverrideSet overrides(portable);
        set_env_override(overrides, native(u"ZZ"), native(u"1"));
        const std::optional<EnvironmentMap> merged = merge_environment(env, overrides);
        ASSERT_TRUE(merged.has_value());
        EXPECT_EQ(entry_list(*merged), row.entries);
        EXPECT_EQ(env.count_of("FreeEnvironmentStringsW"), 1u);
    }
}

TEST(MergeEnvironment, EmptyOverrideSetGivesNothingAndCallsNothing) {
    FakeKernel32 env;
    env.environment = worked_example_environment;
    const OverrideSet overrides(portable);
    EXPECT_FALSE(merge_environment(env, overrides).has_value());
    EXPECT_TRUE(env.events.empty());
}

TEST(MergeEnvironment, NoEnvironmentFromTheSystemIsFatal) {
    FakeKernel32 env;
    env.environment_error = 8;
    const OverrideSet overrides = launcher_overrides(portable);
    expect_fatal_with_short_form(testing::raised_failure([&] { (void)merge_environment(env, overrides); }),
                                 "failure getting env string from OS", 8);
    EXPECT_EQ(env.count_of("FreeEnvironmentStringsW"), 0u);
}

TEST(MergeEnvironment, ComparisonFailureIsFatalAndStillReleasesTheSystemBlock) {
    FakeKernel32 env;
    env.environment = worked_example_environment;
    const SystemEnvNameComparer system(env);
    const OverrideSet overrides = launcher_overrides(system);
    env.compare_result = -5;
    env.last_error = 87;
    expect_fatal_with_short_form(testing::raised_failure([&] { (void)merge_environment(env, overrides); }),
                                 "comparing environment keys failed", 87);
    EXPECT_EQ(env.count_of("FreeEnvironmentStringsW"), 1u);
}

TEST(WriteEnvironmentBlock, EmptyMapIsTwoZeroUnits) {
    const EnvironmentMap environment(portable);
    const SystemResult<std::u16string> block = write_environment_block(environment);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(*block, std::u16string(2, u'\0'));
}

TEST(WriteEnvironmentBlock, WritesEntriesInOrderWithOneZeroAfterEachAndOneAtTheEnd) {
    EnvironmentMap environment(portable);
    environment.set(native(u"b"), native(u""));
    environment.set(native(u"A"), native(std::u16string{0xD800}));
    const SystemResult<std::u16string> block = write_environment_block(environment);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(*block, (std::u16string{u'A', u'=', 0xD800, 0, u'b', u'=', 0, 0}));
}

TEST(WriteEnvironmentBlock, RefusesANulUnitInANameOrValue) {
    const struct NulRow {
        const char* label;
        std::u16string name;
        std::u16string value;
    } rows[] = {
        {"nul in a name", std::u16string{u'A', u'\0', u'B'}, u"1"},
        {"nul ending a name", std::u16string{u'A', u'\0'}, u"1"},
        {"nul in a value", u"A", std::u16string{u'1', u'\0', u'2'}},
        {"nul as the value", u"A", std::u16string(1, u'\0')},
    };
    for (const NulRow& row : rows) {
        SCOPED_TRACE(row.label);
        OverrideSet overrides(portable);
        set_env_override(overrides, native(row.name), native(row.value));
        set_env_override(overrides, native(u"Z"), native(u"ok"));
        const SystemResult<std::u16string> block = write_environment_block(overrides.variables);
        ASSERT_FALSE(block.has_value());
        EXPECT_FALSE(block.error().is_os_code());
        EXPECT_EQ(block.error().kind(), SystemErrorKind::InvalidInput);
        EXPECT_EQ(block.error().message(), "nul byte found in provided data");

        FakeKernel32 env;
        const SystemResult<std::u16string> built = merged_block(env, overrides);
        ASSERT_FALSE(built.has_value());
        EXPECT_EQ(built.error().message(), "nul byte found in provided data");
    }
}

}  // namespace
}  // namespace ostrand
