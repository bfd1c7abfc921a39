#pragma once

#include <cstdint>

namespace QV::GP {

// A four-character code ('QKBD', '????') held in one value, first character
// in the most significant byte.
using FileTypeMacMagic = std::uint32_t;

constexpr FileTypeMacMagic makeFileTypeMacMagic(const char (&code)[5]) noexcept
{
    return (FileTypeMacMagic(static_cast<unsigned char>(code[0])) << 24)
        | (FileTypeMacMagic(static_cast<unsigned char>(code[1])) << 16)
        | (FileTypeMacMagic(static_cast<unsigned char>(code[2])) << 8)
        | FileTypeMacMagic(static_cast<unsigned char>(code[3]));
}

} // namespace QV::GP
