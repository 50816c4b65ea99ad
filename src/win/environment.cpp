// Portable: environment merge, name comparison and block writing; the system calls go through EnvApi.
#include "win/environment.hpp"

#include <algorithm>
#include <limits>

#include "report/fatal.hpp"
#include "win/unique_handle.hpp"

namespace ostrand {
namespace {

// CompareStringOrdinal takes int lengths; a name longer than that cannot come from an environment.
int unit_count(std::u16string_view units) {
    return static_cast<int>(std::min<std::size_t>(units.size(), std::numeric_limits<int>::max()));
}

// Never hand the system a null pointer, even for an empty name.
const char16_t* unit_pointer(std::u16string_view units) {
    return units.empty() ? u"" : units.data();
}

// The block that GetEnvironmentStringsW returned, owned so that it is released also when a fatal
// failure leaves the merge early.
struct EnvironmentStringsTraits {
    using Api = EnvApi;
    using Value = char16_t*;
    static Value invalid() { return nullptr; }
    static void close(Api& api, Value block) { api.free_environment_strings_w(block); }
};
using SystemEnvironmentBlock = UniqueHandle<EnvironmentStringsTraits>;

}  // namespace

std::weak_ordering SystemEnvNameComparer::compare(std::u16string_view a, std::u16string_view b) const {
    const int result =
        env_->compare_string_ordinal(unit_pointer(a), unit_count(a), unit_pointer(b), unit_count(b), true);
    switch (result) {
        case cstr_less_than:
            return std::weak_ordering::less;
        case cstr_equal:
            return std::weak_ordering::equivalent;
        case cstr_greater_than:
            return std::weak_ordering::greater;
        default:
            break;
    }
    const std::uint32_t code = env_->get_last_error();
    fatal("comparing environment keys failed", SystemError::os_code(static_cast<std::int32_t>(code)),
          ErrorForm::Short);
}

void EnvironmentMap::set(std::u16string_view name, std::u16string_view value) {
    const auto at = entries_.lower_bound(name);
    if (at != entries_.end() && comparer().compare(name, at->first) == 0) {
        at->second.assign(value);
        return;
    }
    entries_.emplace_hint(at, name, value);
}

void EnvironmentMap::set(const NativeString& name, const NativeString& value) {
    set(native_to_utf16(name), native_to_utf16(value));
}

const std::u16string* EnvironmentMap::find(std::u16string_view name) const {
    const auto at = entries_.lower_bound(name);
    if (at != entries_.end() && comparer().compare(name, at->first) == 0) {
        return &at->second;
    }
    return nullptr;
}

void set_env_override(OverrideSet& overrides, const NativeString& name, const NativeString& value) {
    const std::u16string name_units = native_to_utf16(name);
    overrides.variables.set(name_units, native_to_utf16(value));
    if (name_units.size() == 4 && overrides.variables.comparer().compare(name_units, u"PATH") == 0) {
        overrides.path_overridden = true;
    }
}

std::optional<EnvironmentMap> merge_environment(EnvApi& env, const OverrideSet& overrides) {
    if (overrides.variables.empty()) {
        return std::nullopt;
    }
    char16_t* const raw_block = env.get_environment_strings_w();
    if (raw_block == nullptr) {
        const std::uint32_t code = env.get_last_error();
        fatal("failure getting env string from OS", SystemError::os_code(static_cast<std::int32_t>(code)),
              ErrorForm::Short);
    }
    SystemEnvironmentBlock block(env, raw_block);

    EnvironmentMap merged(overrides.variables.comparer());
    // Strings end at a 0 unit and the block at an empty string. The per-drive current directories are
    // stored as "=C:=C:\dir": the separator is looked for from the second unit on so that their names
    // keep the leading "=".
    for (const char16_t* at = block.get(); *at != 0;) {
        const std::u16string_view entry(at);
        at += entry.size() + 1;
        const std::size_t separator = entry.find(u'=', 1);
        if (separator == std::u16string_view::npos) {
            continue;
        }
        merged.set(entry.substr(0, separator), entry.substr(separator + 1));
    }
    // Nothing below reads the system's block.
    block.reset();

    for (const auto& [name, value] : overrides.variables.entries()) {
        merged.set(name, value);
    }
    return merged;
}

SystemResult<std::u16string> write_environment_block(const EnvironmentMap& environment) {
    std::size_t total = 2;
    for (const auto& [name, value] : environment.entries()) {
        total += name.size() + value.size() + 2;
    }
    std::u16string out;
    out.reserve(total);
    // CreateProcessW reads the block up to a double 0; an empty one still needs both.
    if (environment.empty()) {
        out.push_back(u'\0');
    }
    for (const auto& [name, value] : environment.entries()) {
        if (holds_nul(name) || holds_nul(value)) {
            return invalid_input(nul_in_data_message);
        }
        out.append(name);
        out.push_back(u'=');
        out.append(value);
        out.push_back(u'\0');
    }
    out.push_back(u'\0');
    return out;
}

std::optional<NativeString> lookup_env(const EnvironmentMap& environment, const NativeString& name) {
    const std::u16string* value = environment.find(native_to_utf16(name));
    if (value == nullptr) {
        return std::nullopt;
    }
    return native_from_utf16(*value);
}

}  // namespace ostrand
