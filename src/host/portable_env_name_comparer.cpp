// Portable: environment names compared one UTF-16 unit at a time by the generated upper-case table.
#include "host/portable_env_name_comparer.hpp"

#include <algorithm>

#include "host/upper_table.hpp"

namespace ostrand {

std::weak_ordering PortableEnvNameComparer::compare(std::u16string_view a, std::u16string_view b) const {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t ua = upper_case_unit(a[i]);
        const char16_t ub = upper_case_unit(b[i]);
        if (ua != ub) {
            return ua < ub ? std::weak_ordering::less : std::weak_ordering::greater;
        }
    }
    return a.size() <=> b.size();
}

}  // namespace ostrand
