#include "win/command_line.hpp"

#include <gtest/gtest.h>

#include "fake_report_api.hpp"
#include "report/fatal.hpp"

namespace ostrand {
namespace {

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
        {"quoted program with spaces", u"\"C:\\Program Files\\x\\launcher.exe\" -novid",
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
        {"only space and tab separate", u"p a\nb\u3000c\vd", {"p", "a\nb\xE3\x80\x80" "c\vd"}},
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

// The system side of the launcher's own inputs.
struct FakeSelf : SelfApi {
    const char16_t* command_line = nullptr;
    std::u16string path = u"C:\\Games\\launcher.exe";
    // When set, every GetModuleFileNameW fails with this error.
    std::uint32_t fail_with = 0;
    // When set, a full buffer reports this last error instead of ERROR_INSUFFICIENT_BUFFER.
    std::uint32_t full_buffer_error = error_insufficient_buffer;
    bool zero_without_error = false;
    std::uint32_t last_error = 0xDEAD;
    std::vector<std::uint32_t> sizes;
    std::vector<std::string> calls;

    const char16_t* get_command_line_w() override { return command_line; }
    std::uint32_t get_module_file_name_w(Module module, char16_t* buffer, std::uint32_t size) override {
        EXPECT_EQ(module, nullptr);
        calls.push_back("GetModuleFileNameW");
        sizes.push_back(size);
        if (fail_with != 0) {
            last_error = fail_with;
            return 0;
        }
        if (zero_without_error) {
            return 0;
        }
        if (path.size() >= size) {
            std::copy_n(path.begin(), size - 1, buffer);
            buffer[size - 1] = 0;
            last_error = full_buffer_error;
            return size;
        }
        std::copy(path.begin(), path.end(), buffer);
        buffer[path.size()] = 0;
        return static_cast<std::uint32_t>(path.size());
    }
    void set_last_error(std::uint32_t code) override {
        calls.push_back("SetLastError(" + std::to_string(code) + ")");
        last_error = code;
    }
    std::uint32_t get_last_error() override { return last_error; }
};

TEST(ExecutablePath, GrowsTheBufferUntilThePathFits) {
    struct Case {
        std::size_t length;
        std::vector<std::uint32_t> sizes;
    } cases[] = {
        {0, {512}}, {511, {512}}, {512, {512, 1024}}, {1023, {512, 1024}}, {1024, {512, 1024, 2048}},
        {5000, {512, 1024, 2048, 4096, 8192}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        FakeSelf self;
        self.path = std::u16string(c.length, u'x');
        auto path = executable_path(self);
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(native_to_utf16(*path), self.path);
        EXPECT_EQ(self.sizes, c.sizes);
        // Each query is preceded by a cleared last error.
        ASSERT_EQ(self.calls.size(), 2 * c.sizes.size());
        for (std::size_t k = 0; k < self.calls.size(); k += 2) {
            EXPECT_EQ(self.calls[k], "SetLastError(0)");
        }
    }
}

TEST(ExecutablePath, FailureAndEmptyResults) {
    FakeSelf failing;
    failing.fail_with = 5;
    auto failed = executable_path(failing);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error(), SystemError::os_code(5));

    FakeSelf empty;
    empty.zero_without_error = true;
    auto path = executable_path(empty);
    ASSERT_TRUE(path.has_value());
    EXPECT_TRUE(path->empty());

    FakeSelf surrogate;
    surrogate.path = {u'C', u':', u'\\', 0xDC01, u'.', u'e'};
    auto kept = executable_path(surrogate);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(native_to_utf16(*kept), surrogate.path);
}

TEST(ExecutablePath, FullBufferWithoutTheGrowErrorIsUnreachable) {
    FakeSelf self;
    self.path = std::u16string(600, u'x');
    self.full_buffer_error = 0;
    const FatalFailure failure = testing::raised_failure([&] { (void)executable_path(self); });
    EXPECT_EQ(failure.message, "internal error: entered unreachable code");
    EXPECT_FALSE(failure.error.has_value());
}

TEST(OwnArguments, SplitsAndConvertsEveryElement) {
    FakeSelf self;
    self.command_line = u"\"C:\\x y\\l.exe\" -d3d9 \"-refresh 0\" \u00e9";
    EXPECT_EQ(own_arguments(self),
              (std::vector<std::string>{"C:\\x y\\l.exe", "-d3d9", "-refresh 0", "\xC3\xA9"}));
}

TEST(OwnArguments, EmptyOrAbsentCommandLineGivesTheExecutablePath) {
    struct Case {
        const char* label;
        const char16_t* line;
        bool path_fails;
        std::string expected;
    } cases[] = {
        {"absent", nullptr, false, "C:\\Games\\launcher.exe"},
        {"empty", u"", false, "C:\\Games\\launcher.exe"},
        {"empty, path fails", u"", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSelf self;
        self.command_line = c.line;
        self.fail_with = c.path_fails ? 2 : 0;
        EXPECT_EQ(own_arguments(self), std::vector<std::string>{c.expected});
    }
}

TEST(OwnArguments, AnElementThatIsNotUnicodeIsFatal) {
    const std::u16string with_surrogate = {u'p', u' ', u'x', u' ', u'a', 0xD800, u'b', u' ', 0xDC00};
    const std::u16string bad_program = {u'"', u'p', 0xDFFF, u'\t', u'\'', u'"', u' ', u'x'};
    const std::u16string tab_and_quote = {u'p', u' ', u'"', u'\t', u'\\', u'"', u'\'', 0xD800, u'"'};
    struct Case {
        const char* label;
        const std::u16string* line;
        std::string quoted;
    } cases[] = {
        {"first bad element is named", &with_surrogate, R"("a\u{d800}b")"},
        {"program name is tested too", &bad_program, R"("p\u{dfff}\t'")"},
        {"tab, quote and single quote", &tab_and_quote, R"("\t\"'\u{d800}")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSelf self;
        self.command_line = c.line->c_str();
        const FatalFailure failure = testing::raised_failure([&] { (void)own_arguments(self); });
        EXPECT_EQ(failure.message, "a command-line argument is not valid Unicode: " + c.quoted);
        EXPECT_FALSE(failure.error.has_value());
    }
}

}  // namespace
}  // namespace ostrand
