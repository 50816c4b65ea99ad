#include "win/own_inputs.hpp"

#include <gtest/gtest.h>

#include <optional>

#include "fake_kernel32.hpp"
#include "report/fatal.hpp"

namespace ostrand {
namespace {

using testing::FakeKernel32;

std::vector<std::string> split_text(std::u16string_view line) {
    std::vector<std::string> out;
    for (auto& element : split_command_line(line)) {
        out.emplace_back(element.bytes());
    }
    return out;
}

TEST(SplitCommandLine, FollowsTheRuntimeRules) {
    struct Case {
        const char* label;
        std::u16string line;
        std::vector<std::string> elements;
    } cases[] = {
        {"program only", u"launcher.exe", {"launcher.exe"}},
        {"quoted program with spaces",
         u"\"C:\\Program Files\\x\\launcher.exe\" -novid",
         {"C:\\Program Files\\x\\launcher.exe", "-novid"}},
        {"program name has no escapes", u"C:\\a\"b c\"d e", {"C:\\ab cd", "e"}},
        {"program name keeps backslash before quote", u"\"C:\\x\\\" y", {"C:\\x\\", "y"}},
        {"leading space: empty program", u" x", {"", "x"}},
        {"white space runs", u"p a  b\tc   ", {"p", "a", "b", "c"}},
        {"quoted argument", u"p \"a b\" c", {"p", "a b", "c"}},
        {"empty quoted", u"p \"\"", {"p", ""}},
        {"open quote at end", u"p \"", {"p", ""}},
        {"trailing quote closes", u"p a\"", {"p", "a"}},
        {"doubled quote inside quotes", u"p \"a\"\"b\"", {"p", "a\"b"}},
        {"doubled quote, then end", u"p \"a\"\"b", {"p", "a\"b"}},
        {"pair outside quotes", u"p a\"\"b", {"p", "ab"}},
        {"quote ends group mid-word", u"p \"a\"b c", {"p", "ab", "c"}},
        {"three backslashes and quote", u"p a\\\\\\\"b", {"p", "a\\\"b"}},
        {"two backslashes and quote", u"p a\\\\\"b c\"", {"p", "a\\b c"}},
        {"single backslash literal", u"p a\\b", {"p", "a\\b"}},
        {"double backslash literal", u"p a\\\\b", {"p", "a\\\\b"}},
        {"escaped backslash before closing quote", u"p \"a\\\\\"", {"p", "a\\"}},
        {"backslashes at end", u"p a\\\\", {"p", "a\\\\"}},
        {"argument with space kept whole", u"p -d3d9 \"-refresh 0\"", {"p", "-d3d9", "-refresh 0"}},
        {"only space and tab separate", u"p a\nb\u3000c\vd", {"p", "a\nb\xE3\x80\x80\x63\vd"}},
        {"quoted tab", u"p \"\t\"", {"p", "\t"}},
        {"empty quoted between", u"p a \"\" b", {"p", "a", "", "b"}},
        {"quote right after quoted end", u"p \"a\"\"", {"p", "a\""}},
        {"trailing tab after program", u"p\t", {"p"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(split_text(c.line), c.elements);
    }
}

TEST(SplitCommandLine, KeepsUnpairedSurrogates) {
    const std::u16string line = {u'p', u' ', u'a', 0xD800, u'b'};
    const auto elements = split_command_line(line);
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_EQ(native_to_utf16(elements[1]), (std::u16string{u'a', 0xD800, u'b'}));
    EXPECT_FALSE(elements[1].known_utf8());
}

TEST(ExecutablePath, GrowsTheBufferUntilThePathFits) {
    struct Case {
        const char* label;
        std::u16string executable;
        std::vector<std::uint32_t> sizes;
    } cases[] = {
        {"empty", u"", {512}},
        {"511 units", std::u16string(511, u'x'), {512}},
        {"512 units", std::u16string(512, u'x'), {512, 1024}},
        {"1023 units", std::u16string(1023, u'x'), {512, 1024}},
        {"1024 units", std::u16string(1024, u'x'), {512, 1024, 2048}},
        {"5000 units", std::u16string(5000, u'x'), {512, 1024, 2048, 4096, 8192}},
        {"unpaired surrogate", {u'C', u':', u'\\', 0xDC01, u'.', u'e'}, {512}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeKernel32 system;
        // A stale error: the fake checks that each query finds the last error cleared.
        system.last_error = 0xDEAD;
        system.executable = c.executable;
        auto path = executable_path(system);
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(native_to_utf16(*path), system.executable);
        EXPECT_EQ(system.buffer_sizes, c.sizes);
    }
}

TEST(ExecutablePath, FailureIsTheSystemError) {
    FakeKernel32 failing;
    failing.executable_error = 5;
    auto failed = executable_path(failing);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error(), SystemError::os_code(5));
}

TEST(OwnArguments, SplitsAndConvertsEveryElement) {
    FakeKernel32 system;
    system.command_line = u"\"C:\\x y\\l.exe\" -d3d9 \"-refresh 0\" \u00e9";
    EXPECT_EQ(own_arguments(system),
              (std::vector<std::string>{"C:\\x y\\l.exe", "-d3d9", "-refresh 0", "\xC3\xA9"}));
}

TEST(OwnArguments, EmptyOrAbsentCommandLineGivesTheExecutablePath) {
    struct Case {
        const char* label;
        std::optional<std::u16string> line;
        bool path_fails;
        std::string expected;
    } cases[] = {
        {"absent", std::nullopt, false, "C:\\Games\\Demo\\ostrand.exe"},
        {"empty", u"", false, "C:\\Games\\Demo\\ostrand.exe"},
        {"empty, path fails", u"", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeKernel32 system;
        system.command_line = c.line;
        if (c.path_fails) {
            system.executable_error = 2;
        }
        EXPECT_EQ(own_arguments(system), std::vector<std::string>{c.expected});
    }
}

TEST(OwnArguments, AnElementThatIsNotUnicodeIsFatal) {
    // clang-format off
    struct Case {
        const char* label;
        std::u16string line;
        std::string quoted;
    } cases[] = {
        {"first bad element is named", {u'p', u' ', u'x', u' ', u'a', 0xD800, u'b', u' ', 0xDC00},
         R"("a\u{d800}b")"},
        {"program name is tested too", {u'"', u'p', 0xDFFF, u'\t', u'\'', u'"', u' ', u'x'},
         R"("p\u{dfff}\t'")"},
        {"tab, quote and single quote", {u'p', u' ', u'"', u'\t', u'\\', u'"', u'\'', 0xD800, u'"'},
         R"("\t\"'\u{d800}")"},
    };
    // clang-format on

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeKernel32 system;
        system.command_line = c.line;
        const FatalFailure failure = testing::raised_failure([&] { (void)own_arguments(system); });
        EXPECT_EQ(failure.message, "a command-line argument is not valid Unicode: " + c.quoted);
        EXPECT_FALSE(failure.error.has_value());
    }
}

}  // namespace
}  // namespace ostrand
