// Portable: character classes from the Unicode Character Database (generated tables).
#pragma once

namespace ostrand {

// Assigned, and neither a control, format, private-use or surrogate code point nor a separator other
// than the space.
bool is_printable(char32_t cp);
// The Grapheme_Extend property: combining marks that attach to the character before them.
bool is_grapheme_extend(char32_t cp);

}  // namespace ostrand
