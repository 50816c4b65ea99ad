// Splitting an encoded command line by the Windows rules gives back the program path and every
// argument, unit for unit.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../tests/support/command_line_cases.hpp"
#include "win/child_command_line.hpp"
#include "win/own_inputs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrand;
    test_support::InputBytes bytes(data, size);
    const test_support::CommandLineCase sample = test_support::generate_command_line_case(bytes);

    std::vector<NativeString> arguments;
    for (const std::u16string& argument : sample.arguments) {
        arguments.push_back(native_from_utf16(argument));
    }
    const SystemResult<std::u16string> line =
        encode_command_line(native_from_utf16(sample.program_path), arguments);
    if (!line) {
        std::fprintf(stderr, "encoding failed without a nul unit\n");
        std::abort();
    }
    const std::vector<NativeString> split = split_command_line(*line);
    bool same =
        split.size() == sample.arguments.size() + 1 && native_to_utf16(split[0]) == sample.program_path;
    for (std::size_t i = 0; same && i < sample.arguments.size(); ++i) {
        same = native_to_utf16(split[i + 1]) == sample.arguments[i];
    }
    if (!same) {
        std::fprintf(stderr, "round trip lost or changed an element: %zu elements of %zu\n", split.size(),
                     sample.arguments.size() + 1);
        std::abort();
    }
    return 0;
}
