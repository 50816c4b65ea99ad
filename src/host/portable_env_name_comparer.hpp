// Portable: environment names compared with the generated upper-case table in place of
// CompareStringOrdinal, for hosts that lack it (the unit tests' fake, the benchmarks) and for the Wine
// test that holds the table against the system's. The launcher compares through the system alone,
// so none of this is in its image.
#pragma once

#include "win/environment.hpp"

namespace ostrand {

class PortableEnvNameComparer final : public EnvNameComparer {
public:
    std::weak_ordering compare(std::u16string_view a, std::u16string_view b) const override;
};

}  // namespace ostrand
