#include "KeyboardLayout.h"

#include <iterator>

namespace QV::UIA::DETAIL {

namespace {

// Dead keys from dead_grave (0xfe50) to dead_ogonek (0xfe5c), typed on
// their own: the spacing form of their accent.
constexpr char32_t kDeadKeyCharacters[] = {
    0x60,  // grave
    0xb4,  // acute
    0x5e,  // circumflex
    0x7e,  // tilde
    0xaf,  // macron
    0x2d8, // breve
    0x2d9, // dot above
    0xa8,  // diaeresis
    0x2da, // ring above
    0x2dd, // double acute
    0x2c7, // caron
    0xb8,  // cedilla
    0x2db, // ogonek
};

} // namespace

char32_t keysymCharacter(unsigned long keysym) noexcept
{
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
        return static_cast<char32_t>(keysym);
    if (keysym >= 0x1000100 && keysym <= 0x110ffff) {
        const auto c = static_cast<char32_t>(keysym - 0x1000000);
        // Surrogates are no characters.
        return (c >= 0xd800 && c <= 0xdfff) ? 0 : c;
    }
    if (keysym >= 0xfe50 && keysym < 0xfe50 + std::size(kDeadKeyCharacters))
        return kDeadKeyCharacters[keysym - 0xfe50];
    return 0;
}

} // namespace QV::UIA::DETAIL
