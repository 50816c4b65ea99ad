// Portable: a per-unit upper-case mapping of UTF-16 code units, for comparing environment names where
// CompareStringOrdinal is not at hand. The table is generated: see tools/gen_upper_table.py.
#pragma once

namespace ostrand {

// The simple upper-case mapping of one UTF-16 unit taken on its own. Units without a single-unit
// upper case, surrogates included, map to themselves.
char16_t upper_case_unit(char16_t unit);

}  // namespace ostrand
