#pragma once

#include <string>

namespace QV::GP::DETAIL {

// Reads a number from text, starting at byte start, in base 16 when hex is
// true, else base 10; leading white space is skipped. value is 0 unless a
// number was read; ok (when not null) says whether one was. end is npos on
// failure, the length of the text when the number ran to its end, else the
// position just behind the number. Text with a byte outside 1 to 127 holds
// no number.
template <typename T>
void LexicalCastHelper(const std::string& text, T& value, bool* ok, unsigned long& end, unsigned long start,
                       bool hex);

// A sign is rejected: "-1" is not a very large unsigned number.
template <>
void LexicalCastHelper<unsigned int>(const std::string& text, unsigned int& value, bool* ok, unsigned long& end,
                                     unsigned long start, bool hex);

} // namespace QV::GP::DETAIL
