#pragma once

#include <string>

namespace QV::GP {

namespace DETAIL {

// The upper-case form of a code point, by the simple one-to-one mapping of
// the C.UTF-8 locale's wide-character classification (no multi-character
// mappings: U+00DF stays as it is). The locale is built once, on first use.
// Where the system has no UTF-8 locale at all only ASCII letters are mapped,
// so that case-insensitive operations keep working instead of failing.
char32_t toUpperCodePoint(char32_t c);

// Whether two texts are equal without regard to case. Either may hold any
// bytes, as POSIX file names do: a text that is not valid UTF-8 equals only
// the very same bytes, and nothing is thrown.
bool equalIgnoringCase(const std::string& a, const std::string& b);

} // namespace DETAIL

// Compares two NUL-terminated UTF-8 strings code point by code point,
// upper-casing both sides first when caseSensitive is false, and returns
// -1, 0 or 1. A string that ends first is the smaller; a null pointer is an
// empty string. Malformed UTF-8 raises std::out_of_range.
template <typename CharT>
int wstrcmpc(const CharT* a, const CharT* b, bool caseSensitive);

template <>
int wstrcmpc<char>(const char* a, const char* b, bool caseSensitive);

} // namespace QV::GP
