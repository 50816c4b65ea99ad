// Portable: the child's environment block: the launcher's own environment with overrides merged in,
// ordered and compared as Windows compares variable names. The system is reached through EnvApi only.
#pragma once

#include <compare>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "report/system_error.hpp"
#include "win/env_api.hpp"
#include "win/strings/native_string.hpp"

namespace ostrand {

// A variable set on top of the launcher's own environment for the child.
struct EnvOverride {
    NativeString name;
    NativeString value;
};

// Orders environment names the way Windows does: case ignored, one UTF-16 unit at a time, then by
// length. Names that compare equivalent are the same variable.
class EnvNameComparer {
public:
    virtual ~EnvNameComparer() = default;
    virtual std::weak_ordering compare(std::u16string_view a, std::u16string_view b) const = 0;
};

// CompareStringOrdinal with ignore-case: the system's own table, and so the rule on Windows. A failed
// call is fatal. The interface must outlive the comparer.
class SystemEnvNameComparer final : public EnvNameComparer {
public:
    explicit SystemEnvNameComparer(EnvApi& env) : env_(&env) {}
    std::weak_ordering compare(std::u16string_view a, std::u16string_view b) const override;

private:
    EnvApi* env_;
};

// Variables by name in ascending comparer order, no two names equivalent. Setting an existing name
// keeps the name as first written (its case included) and takes the new value. Names and values are
// held as the system's UTF-16 units. The comparer must outlive the map and every copy of it.
class EnvironmentMap {
    struct NameLess {
        using is_transparent = void;
        const EnvNameComparer* comparer;
        bool operator()(std::u16string_view a, std::u16string_view b) const {
            return comparer->compare(a, b) < 0;
        }
    };

public:
    using Entries = std::map<std::u16string, std::u16string, NameLess>;

    explicit EnvironmentMap(const EnvNameComparer& comparer) : entries_(NameLess{&comparer}) {}

    const EnvNameComparer& comparer() const { return *entries_.key_comp().comparer; }

    void set(std::u16string_view name, std::u16string_view value);
    void set(const NativeString& name, const NativeString& value);
    const std::u16string* find(std::u16string_view name) const;

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    // Name units to value units, in ascending order.
    const Entries& entries() const { return entries_; }

private:
    Entries entries_;
};

// The variables that the child gets on top of the launcher's own environment.
struct OverrideSet {
    explicit OverrideSet(const EnvNameComparer& comparer) : variables(comparer) {}

    EnvironmentMap variables;
    // Raised when "PATH" in any case is set: the program search then has to use the child's PATH.
    bool path_overridden = false;
};

void set_env_override(OverrideSet& overrides, const NativeString& name, const NativeString& value);

// The launcher's environment with the overrides set on top, ordered by the set's comparer. Nothing
// when the set is empty: the child then inherits the environment without a block of ours. Reading the
// environment from the system and a failed name comparison are fatal.
std::optional<EnvironmentMap> merge_environment(EnvApi& env, const OverrideSet& overrides);

// "name=value" and a 0 unit for each entry in order, then one more 0 unit; an empty map gives two 0
// units. Fails with InvalidInput when a name or value holds a 0 unit.
SystemResult<std::u16string> write_environment_block(const EnvironmentMap& environment);

std::optional<NativeString> lookup_env(const EnvironmentMap& environment, const NativeString& name);

}  // namespace ostrand
