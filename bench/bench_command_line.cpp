// Encoding and splitting child command lines up to the system's longest (32,767 units), and merging a
// large environment into a block.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/portable_env_name_comparer.hpp"
#include "win/child_command_line.hpp"
#include "win/environment.hpp"
#include "win/own_inputs.hpp"

namespace ostrand {
namespace {

constexpr std::size_t longest_command_line = 32767;

// glibc gives the top of the heap back to the kernel once more than 128 KiB lie free there, and the
// longest lines free about that much on every iteration: the time would then go to page faults on the
// memory taken back, not to the code measured. Freed memory stays in the heap here.
const bool heap_kept = [] {
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    return true;
}();

const NativeString program = NativeString::from_text("hl2.exe");

// Units that `argument` adds to a command line: the separating space and its encoded form.
std::size_t encoded_cost(const std::u16string& argument) {
    const std::size_t alone = encode_command_line(program, {})->size();
    return encode_command_line(program, {native_from_utf16(argument)})->size() - alone;
}

// Arguments whose encoding is as large as it gets: runs of backslashes before quotes (n backslashes
// come out as 2n + 1), a space so that each argument is quoted, and a trailing run that is doubled
// before the closing quote. Added while the whole line stays within `limit` units.
std::vector<NativeString> worst_case_arguments(std::size_t limit) {
    const std::u16string piece = uR"(\\"\\\" \"")";
    const std::u16string tail = uR"(\\)";
    std::vector<NativeString> arguments;
    std::size_t length = encode_command_line(program, {})->size();
    for (int repeats = 16; repeats > 0;) {
        std::u16string argument;
        for (int i = 0; i < repeats; ++i) {
            argument += piece;
        }
        argument += tail;
        const std::size_t cost = encoded_cost(argument);
        if (length + cost > limit) {
            --repeats;
            continue;
        }
        length += cost;
        arguments.push_back(native_from_utf16(argument));
    }
    return arguments;
}

void encode(benchmark::State& state) {
    const std::vector<NativeString> arguments =
        worst_case_arguments(static_cast<std::size_t>(state.range(0)));
    std::size_t units = 0;
    for (auto _ : state) {
        SystemResult<std::u16string> line = encode_command_line(program, arguments);
        units = line->size();
        benchmark::DoNotOptimize(line);
    }
    state.counters["units"] = static_cast<double>(units);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * units * sizeof(char16_t)));
    state.SetComplexityN(static_cast<std::int64_t>(units));
}
BENCHMARK(encode)->RangeMultiplier(4)->Range(512, 8192)->Arg(longest_command_line)->Complexity(benchmark::oN);

void split(benchmark::State& state) {
    const std::u16string line =
        *encode_command_line(program, worst_case_arguments(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        std::vector<NativeString> elements = split_command_line(line);
        benchmark::DoNotOptimize(elements);
    }
    state.counters["units"] = static_cast<double>(line.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size() * sizeof(char16_t)));
    state.SetComplexityN(static_cast<std::int64_t>(line.size()));
}
BENCHMARK(split)->RangeMultiplier(4)->Range(512, 8192)->Arg(longest_command_line)->Complexity(benchmark::oN);

// An environment of the given size, handed out afresh on every request; comparisons are not used.
class LargeEnvApi final : public EnvApi {
public:
    explicit LargeEnvApi(int variables) {
        // Names in a scattered order and mixed case, as a real environment is not sorted.
        for (int i = 0; i < variables; ++i) {
            const int key = (i * 7919) % variables;
            const std::string name = (i % 2 == 0 ? "var_" : "VAR_") + std::to_string(key);
            const std::string value = "C:\\Some\\Directory\\" + std::to_string(i) + ";C:\\Other";
            block_.append(name.begin(), name.end());
            block_.push_back(u'=');
            block_.append(value.begin(), value.end());
            block_.push_back(u'\0');
        }
        block_.push_back(u'\0');
    }
    char16_t* get_environment_strings_w() override {
        handed_out_ = block_;
        return handed_out_.data();
    }
    bool free_environment_strings_w(char16_t*) override { return true; }
    int compare_string_ordinal(const char16_t*, int, const char16_t*, int, bool) override { return 0; }
    std::uint32_t get_last_error() override { return 0; }
    void set_last_error(std::uint32_t) override {}
    std::size_t block_units() const { return block_.size(); }

private:
    std::u16string block_;
    std::u16string handed_out_;
};

void merge_and_write_environment(benchmark::State& state) {
    LargeEnvApi env(static_cast<int>(state.range(0)));
    const PortableEnvNameComparer comparer;
    OverrideSet overrides(comparer);
    set_env_override(overrides, NativeString::from_text("DXVK_STATE_CACHE"), NativeString::from_text("1"));
    set_env_override(overrides, NativeString::from_text("ZORV_STATE_CACHE_PATH"),
                     NativeString::from_text("C:\\Games\\Demo\\dxvk-cache"));
    set_env_override(overrides, NativeString::from_text("DXVK_ASYNC"), NativeString::from_text("1"));
    for (auto _ : state) {
        const std::optional<EnvironmentMap> merged = merge_environment(env, overrides);
        SystemResult<std::u16string> block = write_environment_block(*merged);
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * env.block_units() * sizeof(char16_t)));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(merge_and_write_environment)->Arg(100)->Arg(1000)->Arg(10000)->Complexity(benchmark::oNLogN);

}  // namespace
}  // namespace ostrand
