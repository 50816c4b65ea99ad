// Test support, shared by the unit tests and the fuzz target: random program paths and argument lists
// for checking that splitting an encoded command line gives back what was encoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrand::test_support {

struct CommandLineCase {
    std::u16string program_path;
    std::vector<std::u16string> arguments;
};

// The units the encoder treats specially, weighted towards backslashes and quotes so that runs of them
// meet each other, the end of an argument and white space; plus line feed and the two kinds of
// unpaired surrogate, which must pass through unquoted.
inline constexpr char16_t argument_alphabet[] = {
    u'\\', u'\\', u'\\', u'"',   u'"',   u' ',   u'\t',  u'\n',  u'a',
    u'b',  u'Z',  u'-',  0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0x00A0,
};

// A Windows file name holds no double quote; the program path needs no other restriction.
inline constexpr char16_t program_alphabet[] = {
    u'C', u':', u'\\', u'\\', u' ', u'\t', u'\n', u'x', u'.', 0xD800, 0xDC00,
};

// Draws a case from a source of bytes (any callable returning std::uint8_t): a seeded generator in the
// unit tests, the fuzzer's input in the fuzz target.
template <typename ByteSource>
CommandLineCase generate_command_line_case(ByteSource& next_byte) {
    CommandLineCase result;
    const std::size_t program_length = next_byte() % 12;
    for (std::size_t i = 0; i < program_length; ++i) {
        result.program_path.push_back(program_alphabet[next_byte() % std::size(program_alphabet)]);
    }
    const std::size_t argument_count = next_byte() % 7;
    for (std::size_t a = 0; a < argument_count; ++a) {
        std::u16string argument;
        // A quarter of the arguments are empty.
        const std::size_t length = next_byte() % 4 == 0 ? 0 : 1 + next_byte() % 14;
        for (std::size_t i = 0; i < length; ++i) {
            argument.push_back(argument_alphabet[next_byte() % std::size(argument_alphabet)]);
        }
        result.arguments.push_back(std::move(argument));
    }
    return result;
}

// splitmix64: a fixed sequence for a given seed on every platform.
class SeededBytes {
public:
    explicit SeededBytes(std::uint64_t seed) : state_(seed) {}
    std::uint8_t operator()() {
        state_ += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::uint8_t>((z ^ (z >> 31)) >> 56);
    }

private:
    std::uint64_t state_;
};

// The fuzzer's input, then zeros once it is used up.
class InputBytes {
public:
    InputBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t operator()() {
        if (size_ == 0) {
            return 0;
        }
        --size_;
        return *data_++;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace ostrand::test_support
