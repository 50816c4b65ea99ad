// The environment block against the system itself: the portable name comparison against
// CompareStringOrdinal, and a block built from this process's real environment.
#include "win/environment.hpp"

#include <algorithm>

#include "harness.hpp"
#include "host/portable_env_name_comparer.hpp"
#include "platform.hpp"
#include "report/fatal.hpp"

using harness::check;

namespace {

int sign(std::weak_ordering order) {
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

void comparison_matches_the_system() {
    std::vector<std::u16string> names = {
        u"",       u"A",      u"a",      u"AB",     u"A_B",    u"a_b",    u"Ab",     u"A[",
        u"A@",     u"A`",     u"A{",     u"A~",     u"A^",     u"A\\",    u"A]",     u"=",
        u"=C:",    u"=c:",    u"=D:",    u"==",     u"PATH",   u"Path",   u"path",   u"PATHEXT",
        u"PAT",    u"_",      u"0",      u"9Z",     u"\u00e9", u"\u00c9", u"\u00ff", u"\u0178",
        u"\u00df", u"\u0131", u"I",      u"\u0130", u"i",      u"\u03c3", u"\u03a3", u"\u03c2",
        u"\u0436", u"\u0416", u"\u01c5", u"\u01c4", u"\u01c6", u"\uff41", u"\uff21", u"\u1e9e",
        u"\u2c65", u"\u023a", u"\u00b5", u"\u039c", u"\u10d0", u"\u1c90", u"\ua7c0", u"\ua7c1",
    };
    for (char16_t unit : {char16_t{0xD800}, char16_t{0xDBFF}, char16_t{0xDC00}, char16_t{0xDFFF}}) {
        names.push_back(std::u16string(1, unit));
        names.push_back(u"A" + std::u16string(1, unit));
    }
    names.push_back(std::u16string{0xD83D, 0xDE00});
    // Every Latin-1 and Latin Extended-A letter, alone.
    for (char16_t unit = 0xC0; unit < 0x180; ++unit) {
        names.push_back(std::u16string(1, unit));
    }

    const auto system_order = [](const std::u16string& a, const std::u16string& b) {
        return CompareStringOrdinal(ostrand::wide(a.c_str()), static_cast<int>(a.size()),
                                    ostrand::wide(b.c_str()), static_cast<int>(b.size()), TRUE) -
               2;
    };
    const auto portable_order = [](const std::u16string& a, const std::u16string& b) {
        return sign(ostrand::PortableEnvNameComparer().compare(a, b));
    };
    // The portable table follows current Unicode, as Wine's does. Windows' table is its own and older:
    // a case pair that Unicode added since is missing from it. On Windows those are read from the
    // system (letters beyond Latin Extended-A that the portable rule pairs and CompareStringOrdinal
    // does not), and the pairs of names that hold them are left out of the comparison and listed.
    std::u16string unpaired;
    if (!harness::under_wine()) {
        for (const auto& a : names) {
            for (const auto& b : names) {
                if (a.size() == 1 && b.size() == 1 && a[0] > 0x17F && a != b && portable_order(a, b) == 0 &&
                    system_order(a, b) != 0) {
                    unpaired += a;
                }
            }
        }
    }
    const auto holds_unpaired = [&unpaired](const std::u16string& name) {
        return name.find_first_of(unpaired) != std::u16string::npos;
    };

    int mismatches = 0;
    int left_out = 0;
    for (const auto& a : names) {
        for (const auto& b : names) {
            if (holds_unpaired(a) || holds_unpaired(b)) {
                ++left_out;
                continue;
            }
            const int system = system_order(a, b);
            const int portable = portable_order(a, b);
            if (system != portable && ++mismatches <= 10) {
                std::printf("  \"%s\" vs \"%s\": system %d, portable %d\n", harness::show(a).c_str(),
                            harness::show(b).c_str(), system, portable);
            }
        }
    }
    if (!unpaired.empty()) {
        std::printf("  case pairs that this system's table lacks: %s; %d pairs of names left out\n",
                    harness::show(unpaired).c_str(), left_out);
    }
    check(mismatches == 0,
          std::to_string(mismatches) + " pairs ordered differently from CompareStringOrdinal, of " +
              std::to_string(names.size() * names.size() - static_cast<std::size_t>(left_out)));
}

void block_from_the_real_environment() {
    // A few inherited variables that exercise the merge, set in this process before it is read.
    SetEnvironmentVariableW(L"dxvk_async", L"0");
    SetEnvironmentVariableW(L"A_B", L"2");
    SetEnvironmentVariableW(L"AB", L"3");
    SetEnvironmentVariableW(L"EMPTY_VALUE", L"");

    const std::vector<std::wstring> inherited = harness::environment_strings();

    const ostrand::Platform platform = ostrand::system_platform();
    ostrand::SystemEnvNameComparer comparer(platform.env);
    ostrand::OverrideSet overrides(comparer);
    using ostrand::NativeString;
    ostrand::set_env_override(overrides, NativeString::from_text("DXVK_STATE_CACHE"),
                              NativeString::from_text("1"));
    ostrand::set_env_override(overrides, NativeString::from_text("ZORV_STATE_CACHE_PATH"),
                              NativeString::from_text("C:\\g\\dxvk-cache"));
    ostrand::set_env_override(overrides, NativeString::from_text("DXVK_ASYNC"), NativeString::from_text("1"));
    // The two steps of a child's start, without the program search between them.
    std::u16string block;
    try {
        if (const auto merged = ostrand::merge_environment(platform.env, overrides)) {
            auto written = ostrand::write_environment_block(*merged);
            block = written ? std::move(*written) : std::u16string();
        }
    } catch (const ostrand::FatalFailure&) {
        check(false, "merging the environment was fatal");
        return;
    }
    check(!block.empty(), "the merge gives an environment and its block is written");

    std::vector<std::wstring> entries;
    for (std::size_t i = 0; i < block.size() && block[i] != 0;) {
        const std::size_t end = block.find(u'\0', i);
        entries.emplace_back(block.begin() + static_cast<std::ptrdiff_t>(i),
                             block.begin() + static_cast<std::ptrdiff_t>(end));
        i = end + 1;
    }
    check(block.size() >= 2 && block[block.size() - 1] == 0 && block[block.size() - 2] == 0,
          "the block ends in two zeros");

    check(std::is_sorted(entries.begin(), entries.end(), harness::name_less),
          "entries sorted as the system compares names");

    std::vector<std::wstring> expected;
    for (const auto& e : inherited) {
        if (e.find(L'=', 1) == std::wstring::npos) {
            continue;  // no separator after the first unit: left out
        }
        expected.push_back(e == L"dxvk_async=0" ? L"dxvk_async=1" : e);
    }
    expected.push_back(L"DXVK_STATE_CACHE=1");
    expected.push_back(L"ZORV_STATE_CACHE_PATH=C:\\g\\dxvk-cache");
    std::stable_sort(expected.begin(), expected.end(), harness::name_less);
    check(entries == expected, "every inherited variable, the overrides merged in, nothing else (" +
                                   std::to_string(entries.size()) + " entries, expected " +
                                   std::to_string(expected.size()) + ")");
    check(std::find(entries.begin(), entries.end(), L"EMPTY_VALUE=") != entries.end(),
          "an empty value stays");
}

}  // namespace

int wmain() {
    comparison_matches_the_system();
    block_from_the_real_environment();
    return harness::finish();
}
