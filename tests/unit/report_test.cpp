#include <gtest/gtest.h>

#include "fake_kernel32.hpp"
#include "report/fatal.hpp"
#include "report/stderr_writer.hpp"
#include "report/system_error.hpp"

namespace ostrand {
namespace {

using testing::FakeKernel32;
using testing::FastfailCalled;
using K = SystemErrorKind;

TEST(SystemErrorKind, NamesInOrder) {
    EXPECT_EQ(kind_name(K::NotFound), "NotFound");
    EXPECT_EQ(kind_name(K::StaleNetworkFileHandle), "StaleNetworkFileHandle");
    EXPECT_EQ(kind_name(K::InvalidInput), "InvalidInput");
    EXPECT_EQ(kind_name(K::Uncategorized), "Uncategorized");
    EXPECT_EQ(system_error_kind_count, 42);
    EXPECT_EQ(static_cast<int>(K::InvalidInput), 20);
    EXPECT_EQ(static_cast<int>(K::OutOfMemory), 38);
}

TEST(SystemErrorKind, KindFromCode) {
    struct Case {
        K kind;
        std::vector<std::int32_t> codes;
    } cases[] = {
        {K::NotFound, {2, 3, 15, 53, 67}},
        {K::PermissionDenied, {5, 10013}},
        {K::ConnectionRefused, {10061}},
        {K::ConnectionReset, {10054}},
        {K::HostUnreachable, {1232, 10065}},
        {K::NetworkUnreachable, {1231, 10051}},
        {K::ConnectionAborted, {10053}},
        {K::NotConnected, {10057}},
        {K::AddrInUse, {10048}},
        {K::AddrNotAvailable, {10049}},
        {K::NetworkDown, {10050}},
        {K::BrokenPipe, {109, 232}},
        {K::AlreadyExists, {80, 183}},
        {K::WouldBlock, {10035}},
        {K::NotADirectory, {267}},
        {K::IsADirectory, {336}},
        {K::DirectoryNotEmpty, {145}},
        {K::ReadOnlyFilesystem, {19}},
        {K::FilesystemLoop, {1921}},
        {K::InvalidInput, {87, 10022}},
        {K::TimedOut,
         {121, 258, 594, 995, 1053, 1121, 1460, 5910, 7012, 7040, 8014, 8226, 9705, 10060, 13805, 15402,
          15403}},
        {K::StorageFull, {39, 112}},
        {K::NotSeekable, {132}},
        {K::QuotaExceeded, {1295, 10069}},
        {K::FileTooLarge, {223}},
        {K::ResourceBusy, {170}},
        {K::Deadlock, {1131}},
        {K::CrossesDevices, {17}},
        {K::TooManyLinks, {1142}},
        {K::InvalidFilename, {123, 161, 206}},
        {K::Unsupported, {120}},
        {K::OutOfMemory, {8, 14}},
        {K::Uncategorized, {0, 1, 4, 6, 122, 10062, -1, -2147024891, INT32_MIN, INT32_MAX}},
    };
    for (const auto& c : cases) {
        for (std::int32_t code : c.codes) {
            SCOPED_TRACE(code);
            EXPECT_EQ(kind_name(kind_from_code(code)), kind_name(c.kind));
        }
    }
}

TEST(SystemMessage, LooksUpTrimsAndFallsBack) {
    FakeKernel32 api;
    api.messages[{false, 2}] = u"The system cannot find the file specified.\r\n";
    api.messages[{false, 9}] = u"line one\r\nline two \t\f\n";
    api.messages[{false, 11}] = u"keeps vertical tab\v";
    api.messages[{false, 12}] = {u'x', 0xD800};
    api.messages[{true, 0x0005}] = u"from ntdll";

    EXPECT_EQ(system_message(api, 2), "The system cannot find the file specified.");
    EXPECT_EQ(system_message(api, 9), "line one\r\nline two");
    EXPECT_EQ(system_message(api, 11), "keeps vertical tab\v");
    EXPECT_EQ(system_message(api, 12), "OS Error 12 (FormatMessageW() returned invalid UTF-16)");
    EXPECT_EQ(system_message(api, 77), "OS Error 77 (FormatMessageW() returned error 317)");
    // Bit 28 marks an NTSTATUS carried as an error code: its text comes from ntdll without that bit.
    EXPECT_EQ(system_message(api, 0x10000005), "from ntdll");
    EXPECT_EQ(api.format_calls_flags.back(), 0x1A00u);
    EXPECT_EQ(system_message(api, 0x10000006), "OS Error 6 (FormatMessageW() returned error 317)");
    EXPECT_EQ(system_message(api, 5), "OS Error 5 (FormatMessageW() returned error 317)");
    EXPECT_EQ(api.format_calls_flags.back(), 0x1200u);
    // Without ntdll the code goes to the system table unchanged.
    api.ntdll = nullptr;
    EXPECT_EQ(system_message(api, 0x10000005), "OS Error 268435461 (FormatMessageW() returned error 317)");
}

TEST(SystemErrorForms, DetailedAndShort) {
    FakeKernel32 api;
    api.messages[{false, 2}] = u"File not found.\r\n";
    api.messages[{false, 3}] = u"Line 1\r\nLine \"2\"\r\n";
    struct Case {
        const char* label;
        SystemError error;
        std::string detailed, brief;
    } cases[] = {
        {"os code", SystemError::os_code(2), R"(Os { code: 2, kind: NotFound, message: "File not found." })",
         "File not found. (os error 2)"},
        {"inner line breaks quoted", SystemError::os_code(3),
         R"(Os { code: 3, kind: NotFound, message: "Line 1\r\nLine \"2\"" })",
         "Line 1\r\nLine \"2\" (os error 3)"},
        {"negative code", SystemError::os_code(-2147024891),
         R"x(Os { code: -2147024891, kind: Uncategorized, message: "OS Error -2147024891 (FormatMessageW() returned error 317)" })x",
         "OS Error -2147024891 (FormatMessageW() returned error 317) (os error -2147024891)"},
        {"kind and message",
         SystemError::kind_and_message(K::InvalidInput, "nul byte found in provided data"),
         R"(Error { kind: InvalidInput, message: "nul byte found in provided data" })",
         "nul byte found in provided data"},
        {"message escaped", SystemError::kind_and_message(K::NotFound, "a\"b\\c"),
         R"(Error { kind: NotFound, message: "a\"b\\c" })", "a\"b\\c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(detailed_form(api, c.error), c.detailed);
        EXPECT_EQ(short_form(api, c.error), c.brief);
    }
}

TEST(StderrWriter, FileAndPipeGetTheBytesUnchanged) {
    FakeKernel32 api;
    api.write_limit = 3;
    ASSERT_TRUE(write_stderr_all(api, "abcdefgh\xFF").has_value());
    EXPECT_EQ(api.written, "abcdefgh\xFF");
    EXPECT_EQ(api.write_sizes, (std::vector<std::size_t>{3, 3, 3}));
    EXPECT_EQ(api.count_of("GetStdHandle -12"), 3u);  // fetched anew for every write
}

TEST(StderrWriter, UtfEightConsoleIsWrittenLikeAFile) {
    FakeKernel32 api;
    api.is_console = true;
    api.console_code_page = utf8_code_page;
    ASSERT_TRUE(write_stderr_all(api, "\xC3\xA9").has_value());
    EXPECT_EQ(api.written, "\xC3\xA9");
    EXPECT_TRUE(api.console_written.empty());
}

TEST(StderrWriter, OtherConsolesGetUtf16InWholeCharacters) {
    FakeKernel32 api;
    api.is_console = true;
    // 4095 ASCII bytes and then a three-byte character: the first write stops before the character.
    std::string text(4095, 'a');
    text += "\xE4\xB8\xAD";
    text += "\xF0\x9F\x98\x80";
    ASSERT_TRUE(write_stderr_all(api, text).has_value());
    EXPECT_EQ(api.write_sizes, (std::vector<std::size_t>{4095, 3}));
    EXPECT_EQ(api.console_written, (std::u16string(4095, u'a') + u"\u4e2d" + std::u16string{0xD83D, 0xDE00}));
    // Cut inside a four-byte character after an odd continuation byte (F0 9F | 98 80).
    FakeKernel32 odd;
    odd.is_console = true;
    ASSERT_TRUE(write_stderr_all(odd, std::string(4094, 'a') + "\xF0\x9F\x98\x80").has_value());
    EXPECT_EQ(odd.write_sizes, (std::vector<std::size_t>{4094, 2}));  // units

    // A console that takes one unit at a time still receives every character once.
    FakeKernel32 slow;
    slow.is_console = true;
    slow.write_limit = 1;
    ASSERT_TRUE(write_stderr_all(slow, "x\xC3\xA9y").has_value());
    EXPECT_EQ(slow.console_written, u"x\u00e9y");
}

TEST(StderrWriter, Failures) {
    const SystemError non_utf8_console = SystemError::kind_and_message(
        K::InvalidData, "Windows stdio in console mode does not support writing non-UTF-8 byte sequences");
    struct Case {
        const char* label;
        void (*setup)(FakeKernel32&);
        SystemError error;
        std::string_view request = "x\xFF";
    } cases[] = {
        {"no handle", [](FakeKernel32& a) { a.std_error() = nullptr; }, SystemError::os_code(6)},
        {"invalid handle",
         [](FakeKernel32& a) {
             a.std_error() = invalid_handle_value();
             a.last_error = 1234;
         },
         SystemError::os_code(1234)},
        {"write refused", [](FakeKernel32& a) { a.write_fails = true; }, SystemError::os_code(232)},
        {"non-UTF-8 to console", [](FakeKernel32& a) { a.is_console = true; }, non_utf8_console},
        // Nothing to cut back to: the conversion refuses the bytes, and nothing before them is read.
        {"only continuation bytes, to a console", [](FakeKernel32& a) { a.is_console = true; },
         non_utf8_console, "\x80\xBF"},
        {"only the first bytes of a character, to a console", [](FakeKernel32& a) { a.is_console = true; },
         non_utf8_console, "\xE4\xB8"},
        {"write takes nothing", [](FakeKernel32& a) { a.write_limit = 0; },
         SystemError::kind_and_message(K::WriteZero, "failed to write whole buffer")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeKernel32 api;
        c.setup(api);
        // A heap block of the request's own size, so that a read outside it is caught.
        const std::vector<char> request(c.request.begin(), c.request.end());
        auto result = write_stderr_all(api, std::string_view(request.data(), request.size()));
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), c.error);
    }
    FakeKernel32 api;
    api.std_error() = nullptr;
    EXPECT_TRUE(write_stderr_all(api, "").has_value());  // an empty request touches nothing
    EXPECT_EQ(api.count_of("GetStdHandle -12"), 0u);
}

TEST(Fatal, CarriesTheMessageTheErrorAndThePositionOfTheCheck) {
    unsigned line = 0;
    const FatalFailure failure = testing::raised_failure([&line] {
        line = __LINE__ + 1;
        fatal("Failed to run Half-Life 2", SystemError::os_code(6));
    });
    EXPECT_EQ(failure.message, "Failed to run Half-Life 2");
    EXPECT_EQ(failure.error, SystemError::os_code(6));
    EXPECT_EQ(failure.form, ErrorForm::Detailed);
    EXPECT_EQ(failure.where.line(), line);
    EXPECT_STREQ(failure.where.file_name(), SourceLocation::current().file_name());

    const FatalFailure alone =
        testing::raised_failure([] { fatal("internal error: entered unreachable code"); });
    EXPECT_FALSE(alone.error.has_value());
}

// A line feed and "thread 'main' (<id>) failed at <file>:<line>:<column>:" for a failure raised at `where`.
std::string header_at(const SourceLocation& where) {
    return "\nthread 'main' (4242) failed at " + std::string(where.file_name()) + ":" +
           std::to_string(where.line()) + ":" + std::to_string(where.column()) + ":\n";
}

TEST(FatalReport, OneWriteWithTheErrorInItsForm) {
    struct Case {
        const char* label;
        FatalFailure failure;
        std::string message_line;
    } cases[] = {
        {"detailed form",
         {"Failed to launch Half-Life 2", SystemError::os_code(2), ErrorForm::Detailed,
          SourceLocation::current()},
         "Failed to launch Half-Life 2: Os { code: 2, kind: NotFound, message: \"File not found.\" }\n"},
        {"short form",
         {"comparing environment keys failed", SystemError::os_code(87), ErrorForm::Short,
          SourceLocation::current()},
         "comparing environment keys failed: The parameter is incorrect. (os error 87)\n"},
        {"no error",
         {"a command-line argument is not valid Unicode: \"a\\u{d800}\"", std::nullopt, ErrorForm::Detailed,
          SourceLocation::current()},
         "a command-line argument is not valid Unicode: \"a\\u{d800}\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeKernel32 api;
        api.messages[{false, 2}] = u"File not found.\r\n";
        api.messages[{false, 87}] = u"The parameter is incorrect.\r\n";
        write_fatal_report(api, c.failure);
        ASSERT_EQ(api.write_sizes.size(), 1u);
        EXPECT_EQ(api.written, header_at(c.failure.where) + c.message_line);
        EXPECT_EQ(api.written.find('\r'), std::string::npos);
    }
}

TEST(FatalReport, LongReportIsWrittenInPiecesAndWhole) {
    FakeKernel32 api;
    const FatalFailure failure{std::string(600, 'm'), std::nullopt, ErrorForm::Detailed,
                               SourceLocation::current()};
    write_fatal_report(api, failure);
    EXPECT_GT(api.write_sizes.size(), 1u);
    EXPECT_EQ(api.written, header_at(failure.where) + failure.message + "\n");
}

TEST(FatalReport, IsDroppedSilentlyWithoutStandardError) {
    FakeKernel32 api;
    api.std_error() = nullptr;
    write_fatal_report(api, {"Failed to run Half-Life 2", SystemError::os_code(6), ErrorForm::Detailed,
                             SourceLocation::current()});
    EXPECT_TRUE(api.written.empty());
}

TEST(Fatal, UnrecoverableWritesTwoReportsAndFailsFast) {
    FakeKernel32 api;
    try {
        fatal_unrecoverable(api, "Unable to load create_instance", "the caller cannot receive it");
        FAIL() << "returned";
    } catch (const FastfailCalled& called) {
        EXPECT_EQ(called.code, 7u);
    }
    const std::string& out = api.written;
    const auto first_end = out.find("Unable to load create_instance\n");
    ASSERT_NE(first_end, std::string::npos) << out;
    const auto second = out.find("\nthread 'main' (4242) failed at ", first_end);
    ASSERT_NE(second, std::string::npos) << out;
    EXPECT_TRUE(out.ends_with(":\nthe caller cannot receive it\naborting the process\n")) << out;
}

TEST(Fatal, OutOfMemoryNamesTheSizeAndFailsFast) {
    FakeKernel32 api;
    EXPECT_THROW(out_of_memory(api, 1116691496700), FastfailCalled);
    EXPECT_EQ(api.written, "memory allocation of 1116691496700 bytes failed\n");
}

}  // namespace
}  // namespace ostrand
