#include <QV/UIA/Menu.h>

namespace QV::UIA {

namespace {

// Shortcut word bits.
constexpr unsigned kShortcutFunctionKey = 0x10000;
constexpr unsigned kShortcutKeypad = 0x800000;

// The platform's modifier mask bits of a key equivalent.
constexpr unsigned long kPlatformShift = 0x20000;
constexpr unsigned long kPlatformControl = 0x40000;
constexpr unsigned long kPlatformOption = 0x80000;
constexpr unsigned long kPlatformCommand = 0x100000;
constexpr unsigned long kPlatformNumericPad = 0x200000;
constexpr unsigned long kPlatformFunction = 0x800000;

constexpr unsigned kShortcutQuit = kModifierCommand | 'Q';
constexpr unsigned kShortcutPreferences = kModifierCommand | ',';

// Key codes are characters; letters of ASCII and Latin-1 have cases, where
// the multiplication and division signs sit among them without one.
bool isLatinUpper(unsigned c) noexcept
{
    return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}

bool isLatinLower(unsigned c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
}

unsigned toUpper(unsigned c) noexcept
{
    return isLatinLower(c) ? c - 0x20 : c;
}

unsigned toLower(unsigned c) noexcept
{
    return isLatinUpper(c) ? c + 0x20 : c;
}

// Keys 1 to 18 that stand for control keys and the navigation block; 0 keeps
// the key's own value.
constexpr std::uint16_t kControlKeyCharacters[19] = {
    0,      0x1B,   0x08,   0x09,   0,      0x0D,   0,      0,      0xF727, 0xF728,
    0xF729, 0xF72B, 0xF72C, 0xF72D, 0xF700, 0xF701, 0xF702, 0xF703, 0xF739,
};

} // namespace

std::map<unsigned, int>& HMenu::shortcuts()
{
    static std::map<unsigned, int> table;
    return table;
}

std::string DETAIL::menuTitleText(const GP::CharSequence<char>& title)
{
    std::string text;
    if (!title.data())
        return text;
    text.reserve(title.length());
    const char* p = title.data();
    const char* const end = p + title.length();
    while (p != end) {
        if (*p == '&') {
            // The character after the mark is taken as it is, so "&&" gives
            // one '&'. A mark at the very end has nothing after it.
            ++p;
            if (p == end)
                break;
        }
        text.push_back(*p++);
    }
    return text;
}

DETAIL::KeyEquivalent DETAIL::keyEquivalentOf(unsigned shortcut) noexcept
{
    KeyEquivalent result;
    unsigned key = shortcut & 0xffff;
    const bool keypad = (shortcut & kShortcutKeypad) != 0;
    if (shortcut & kModifierCommand)
        result.modifierMask |= kPlatformCommand;
    if (keypad)
        result.modifierMask |= kPlatformNumericPad;
    if (shortcut & kModifierShift) {
        key = toUpper(key);
        result.modifierMask |= kPlatformShift;
    } else {
        key = toLower(key);
    }
    if (shortcut & kModifierControl)
        result.modifierMask |= kPlatformControl;
    if (shortcut & kModifierOption)
        result.modifierMask |= kPlatformOption;

    if (shortcut & kShortcutFunctionKey) {
        result.character = static_cast<std::uint16_t>((shortcut + 0xF703) & 0xffff);
        result.modifierMask |= kPlatformFunction;
    } else if (!keypad && key >= 1 && key <= 18 && kControlKeyCharacters[key]) {
        result.character = kControlKeyCharacters[key];
    } else {
        result.character = static_cast<std::uint16_t>(key);
    }
    return result;
}

void DETAIL::recordShortcut(int command, unsigned shortcut)
{
    const auto id = static_cast<unsigned>(command);
    if (id == kCommandQuit || id == kCommandAbout)
        HMenu::shortcuts()[kShortcutQuit] = static_cast<int>(kCommandQuit);
    else if (id == kCommandPreferences)
        HMenu::shortcuts()[kShortcutPreferences] = static_cast<int>(kCommandPreferences);
    else if (shortcut != 0)
        HMenu::shortcuts()[shortcut] = command;
}

} // namespace QV::UIA
