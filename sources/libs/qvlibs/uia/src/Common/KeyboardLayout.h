#pragma once

#include <memory>
#include <string>

namespace QV::UIA::DETAIL {

// What the key tables need of a keyboard layout: the text each key types
// without modifier keys, and the locale's capitalisation.
class KeyboardLayout
{
public:
    virtual ~KeyboardLayout() = default;

    // The text of the platform key `keyCode` with no modifier key held, a
    // dead key giving its own spacing character; empty when the key types
    // nothing.
    virtual std::u16string keyText(unsigned keyCode) const = 0;

    // `text` in capitals as the user's locale writes them.
    virtual std::u16string capitalise(const std::u16string& text) const = 0;
};

// The layout of the keyboard now, or null when the platform has none to
// give (no display). Implemented by the platform code.
std::unique_ptr<KeyboardLayout> currentPlatformKeyboardLayout();

// The character that an X keysym types, or 0 when it types none: Latin-1
// keysyms stand for themselves, keysyms from 0x1000100 carry a code point,
// and dead keys give their spacing accent.
char32_t keysymCharacter(unsigned long keysym) noexcept;

} // namespace QV::UIA::DETAIL
