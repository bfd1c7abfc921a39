#include <QV/UIA/DETAIL/Keys.h>
#include <QV/UIA/KeyCode.h>

#include "KeyboardLayout.h"

#include <algorithm>
#include <iterator>

namespace QV::UIA::DETAIL {

std::uint32_t Keys::s_VKeyToUIA[Keys::kTableSize] = {};
std::uint32_t Keys::s_VKeyToUIAScan[Keys::kTableSize] = {};
bool Keys::s_bInit = false;

namespace {

struct KeyEntry {
    unsigned keyCode; // X keycode: the kernel's input code + 8
    std::uint32_t uia;
};

constexpr std::uint32_t keypad(char c) noexcept
{
    return kKeyKeypad | static_cast<std::uint32_t>(c);
}

// Keys whose code is the same under every layout, in both tables. The
// keycodes are those of a PC keyboard under the X server's evdev rules.
constexpr KeyEntry kFixedKeys[] = {
    // Named keys. The keypad's Num Lock sits where the Clear key is.
    {9, kKeyEscape}, {22, kKeyBackspace}, {23, kKeyTab}, {36, kKeyReturn}, {119, kKeyDeleteForward},
    {110, kKeyHome}, {115, kKeyEnd}, {112, kKeyPageUp}, {117, kKeyPageDown}, {77, kKeyClear},
    {111, kKeyUp}, {116, kKeyDown}, {113, kKeyLeft}, {114, kKeyRight},
    // F1 to F12.
    {67, 0x10001}, {68, 0x10002}, {69, 0x10003}, {70, 0x10004}, {71, 0x10005}, {72, 0x10006},
    {73, 0x10007}, {74, 0x10008}, {75, 0x10009}, {76, 0x1000A}, {95, 0x1000B}, {96, 0x1000C},
    // The digit row keeps its digits whatever the layout puts on it, so
    // that shortcuts with digits work everywhere.
    {19, '0'}, {10, '1'}, {11, '2'}, {12, '3'}, {13, '4'}, {14, '5'}, {15, '6'}, {16, '7'}, {17, '8'}, {18, '9'},
    // The keypad. Its decimal key is the comma character on every layout.
    {90, keypad('0')}, {87, keypad('1')}, {88, keypad('2')}, {89, keypad('3')}, {83, keypad('4')},
    {84, keypad('5')}, {85, keypad('6')}, {79, keypad('7')}, {80, keypad('8')}, {81, keypad('9')},
    {91, keypad(',')}, {63, keypad('*')}, {86, keypad('+')}, {106, keypad('/')}, {82, keypad('-')},
    {125, keypad('=')}, {104, kKeyKeypad | kKeyReturn},
};
static_assert(std::size(kFixedKeys) == 53);

// What the remaining keys of the main block bear on a US layout, in the
// position table only. The key left of 1 bears the tilde; the extra key
// beside the left Shift of ISO keyboards (keycode 94) has no position key.
constexpr KeyEntry kPositionKeys[] = {
    {38, 'A'}, {39, 'S'}, {40, 'D'}, {41, 'F'}, {43, 'H'}, {42, 'G'}, {52, 'Z'}, {53, 'X'}, {54, 'C'}, {55, 'V'},
    {49, '~'}, {56, 'B'}, {24, 'Q'}, {25, 'W'}, {26, 'E'}, {27, 'R'}, {29, 'Y'}, {28, 'T'}, {21, '='}, {20, '-'},
    {35, ']'}, {32, 'O'}, {30, 'U'}, {34, '['}, {31, 'I'}, {33, 'P'}, {46, 'L'}, {44, 'J'},
    // The quotation mark, not the apostrophe, names the quote key.
    {48, '"'}, {45, 'K'}, {47, ';'}, {51, '\\'}, {59, ','}, {61, '/'}, {57, 'N'}, {58, 'M'}, {60, '.'}, {65, ' '},
};
static_assert(std::size(kPositionKeys) == 38);

} // namespace

bool Keys::init()
{
    if (s_bInit)
        return true;
    // A layout that cannot be read leaves the fixed entries alone: keys then
    // still arrive with their position keys and the characters they type.
    std::unique_ptr<KeyboardLayout> layout;
    try {
        layout = currentPlatformKeyboardLayout();
    } catch (...) {
        layout.reset();
    }
    build(layout.get());
    return true;
}

void Keys::build(const KeyboardLayout* layout)
{
    std::fill(std::begin(s_VKeyToUIA), std::end(s_VKeyToUIA), 0u);
    std::fill(std::begin(s_VKeyToUIAScan), std::end(s_VKeyToUIAScan), 0u);
    for (const KeyEntry& entry : kFixedKeys) {
        s_VKeyToUIA[entry.keyCode] = entry.uia;
        s_VKeyToUIAScan[entry.keyCode] = entry.uia;
    }
    for (const KeyEntry& entry : kPositionKeys)
        s_VKeyToUIAScan[entry.keyCode] = entry.uia;

    if (layout) {
        for (unsigned keyCode = 0; keyCode < kTableSize; ++keyCode) {
            if (s_VKeyToUIA[keyCode] != 0)
                continue;
            // Only a key that types exactly one printable unit names itself;
            // control characters would collide with the named key codes.
            const std::u16string text = layout->keyText(keyCode);
            if (text.size() != 1 || text[0] < 0x20 || text[0] == 0x7f)
                continue;
            const std::u16string capital = layout->capitalise(text);
            if (!capital.empty() && capital[0] >= 0x20 && capital[0] != 0x7f)
                s_VKeyToUIA[keyCode] = capital[0];
        }
    }
    s_bInit = true;
}

bool Keys::isInitialized() noexcept
{
    return s_bInit;
}

unsigned Keys::macOSToUIA(unsigned vkey, unsigned& position) noexcept
{
    if (vkey >= kTableSize) {
        position = 0;
        return 0;
    }
    position = s_VKeyToUIAScan[vkey];
    return s_VKeyToUIA[vkey];
}

std::map<unsigned, unsigned>& Keys::uiaToPlatformMap()
{
    static std::map<unsigned, unsigned> map;
    return map;
}

void Keys::clearUIAToPlatformMap() noexcept
{
    uiaToPlatformMap().clear();
}

} // namespace QV::UIA::DETAIL
