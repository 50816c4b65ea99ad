// Portable: a per-unit upper-case mapping of UTF-16 code units, for comparing environment names where
// CompareStringOrdinal is not at hand. The table is generated: see tools/gen_upper_table.py.
#pragma once

namespace ostrand {

// The upper case of one UTF-16 unit taken on its own, for units that form a case pair with it (the
// upper case lowers back to the unit), as Windows' own table has them. Every other unit, surrogates
// included, maps to itself.
char16_t upper_case_unit(char16_t unit);

}  // namespace ostrand
