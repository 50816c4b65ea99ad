#include "win/buffer_rule.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fake_kernel32.hpp"

namespace ostrand {
namespace {

// One answer of the scripted call: what it returns, the last error it leaves (none: it leaves the
// value it found) and the text it writes.
struct Answer {
    std::uint32_t returned;
    std::optional<std::uint32_t> error = std::nullopt;
    std::u16string text = u"";
};

struct Case {
    const char* label;
    std::vector<Answer> script;
    std::vector<std::uint32_t> sizes;    // the room of each call, in order
    std::optional<std::u16string> text;  // none: a failure
    std::uint32_t code = 0;              // the failure's code; 0: the rule's unreachable end
    std::uint32_t stale_error = 0xDEAD;  // the last error before the first call
};

TEST(BufferRule, AsksWithMoreRoomUntilTheTextFits) {
    const std::u16string long_text(699, u'x');
    // clang-format off
    const Case cases[] = {
        {"fits at once", {{5, {}, u"hello"}}, {512}, u"hello"},
        {"0 with an error is that error", {{0, 5}}, {512}, std::nullopt, 5},
        {"a stale error is cleared first: 0 without an error of its own is an empty text", {{0}}, {512}, u""},
        {"a full buffer with ERROR_INSUFFICIENT_BUFFER doubles the room",
         {{512, 122}, {1024, 122}, {3, 0, u"abc"}}, {512, 1024, 2048}, u"abc"},
        {"more than the room is the room asked for", {{700}, {699, {}, long_text}}, {512, 700}, long_text},
        {"a failure after the room has grown", {{700}, {0, 8}}, {512, 700}, std::nullopt, 8},
        {"a full buffer without ERROR_INSUFFICIENT_BUFFER is unreachable", {{512, 0}}, {512}, std::nullopt},
        {"a full buffer after a stale ERROR_INSUFFICIENT_BUFFER is unreachable too",
         {{512}}, {512}, std::nullopt, 0, error_insufficient_buffer},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        testing::FakeKernel32 system;
        system.last_error = row.stale_error;
        std::vector<std::uint32_t> sizes;
        std::size_t next = 0;
        const auto call = [&](char16_t* buffer, std::uint32_t size) -> std::uint32_t {
            sizes.push_back(size);
            const Answer& answer = row.script.at(next++);
            std::copy(answer.text.begin(), answer.text.end(), buffer);
            if (answer.error) {
                system.last_error = *answer.error;
            }
            return answer.returned;
        };
        if (!row.text && row.code == 0) {
            const FatalFailure failure =
                testing::raised_failure([&] { (void)read_filled_buffer(system, call); });
            EXPECT_EQ(failure.message, "internal error: entered unreachable code");
        } else {
            const SystemResult<std::u16string> result = read_filled_buffer(system, call);
            ASSERT_EQ(result.has_value(), row.text.has_value());
            if (result) {
                EXPECT_EQ(*result, *row.text);
            } else {
                EXPECT_EQ(result.error(), SystemError::os_code(static_cast<std::int32_t>(row.code)));
            }
        }
        EXPECT_EQ(sizes, row.sizes);
    }
}

}  // namespace
}  // namespace ostrand
