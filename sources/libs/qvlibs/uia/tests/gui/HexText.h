// Text as hexadecimal digits, so that tests and the programs they start pass
// every byte through command lines and outputs unchanged.
#pragma once

#include <string>

namespace QV::UIA::Testing {

inline std::string toHex(const std::string& text)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : text) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    return hex;
}

} // namespace QV::UIA::Testing
