#pragma once

#include <cstdint>

namespace QV::UIA {

// The layer's portable key codes. A key word is one of these OR the modifier
// bits (EventData.h); the toolkit compares `keyWord & KeyEventData::kKeyCodeMask`
// against them. Printable keys carry their character, letters in upper case
// ('A' = 0x41); other layout characters carry their capitalised first UTF-16
// unit. Codes 4, 6 and 7 are not used.
enum eKeyCode : std::uint32_t {
    kKeyEscape = 1,
    kKeyBackspace = 2,
    kKeyTab = 3,
    kKeyReturn = 5,
    kKeyInsert = 8,
    kKeyDeleteForward = 9,
    kKeyHome = 10,
    kKeyEnd = 11,
    kKeyPageUp = 12,
    kKeyPageDown = 13,
    kKeyUp = 14,
    kKeyDown = 15,
    kKeyLeft = 16,
    kKeyRight = 17,
    kKeyClear = 18,
    kKeyF1 = 0x10001,
    kKeyF12 = 0x1000C,
    // A keypad key is this flag OR its character (Enter: OR kKeyReturn). The
    // flag lies outside kKeyCodeMask, so that the toolkit's comparisons see
    // the keypad's digits as digits.
    kKeyKeypad = 0x800000,
};

} // namespace QV::UIA
