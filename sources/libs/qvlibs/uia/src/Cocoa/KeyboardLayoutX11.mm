// GNUstep reports X keycodes and has no keyboard-layout service of its own,
// so the layout is read from the X server's keyboard extension over a
// connection of our own: the application's connection is not open yet when
// the library starts, and this one is closed again at once.
#include "../Common/KeyboardLayout.h"

#include "GNUstepHeaders.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace QV::UIA::DETAIL {

namespace {

std::u16string utf16Of(char32_t c)
{
    if (c == 0)
        return {};
    if (c < 0x10000)
        return std::u16string(1, static_cast<char16_t>(c));
    c -= 0x10000;
    return {static_cast<char16_t>(0xd800 + (c >> 10)), static_cast<char16_t>(0xdc00 + (c & 0x3ff))};
}

class XkbKeyboardLayout : public KeyboardLayout
{
public:
    static std::unique_ptr<KeyboardLayout> open()
    {
        int major = XkbMajorVersion;
        int minor = XkbMinorVersion;
        int reason = 0;
        Display* display = XkbOpenDisplay(nullptr, nullptr, nullptr, &major, &minor, &reason);
        if (!display)
            return nullptr;
        XkbDescPtr keyboard = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
        if (!keyboard) {
            XCloseDisplay(display);
            return nullptr;
        }
        // The group in use is the layout the user chose last.
        XkbStateRec state{};
        const int group = XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
        return std::unique_ptr<KeyboardLayout>(new XkbKeyboardLayout(display, keyboard, group));
    }

    ~XkbKeyboardLayout() override
    {
        XkbFreeKeyboard(m_keyboard, 0, True);
        XCloseDisplay(m_display);
    }

    std::u16string keyText(unsigned keyCode) const override
    {
        if (keyCode < m_keyboard->min_key_code || keyCode > m_keyboard->max_key_code)
            return {};
        const auto key = static_cast<KeyCode>(keyCode);
        const int groups = XkbKeyNumGroups(m_keyboard, key);
        if (groups <= 0)
            return {};
        // A key with fewer groups than the one in use wraps around, as the
        // server does when it types it.
        const int group = m_group % groups;
        if (XkbKeyGroupWidth(m_keyboard, key, group) < 1)
            return {};
        return utf16Of(keysymCharacter(XkbKeySymEntry(m_keyboard, key, 0, group)));
    }

    std::u16string capitalise(const std::u16string& text) const override
    {
        NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
        NSString* string = [NSString stringWithCharacters:reinterpret_cast<const unichar*>(text.data())
                                                   length:text.size()];
        NSString* upper = [string uppercaseString];
        std::u16string result;
        if (upper) {
            result.resize([upper length]);
            [upper getCharacters:reinterpret_cast<unichar*>(result.data()) range:NSMakeRange(0, result.size())];
        }
        [pool release];
        return result;
    }

private:
    XkbKeyboardLayout(Display* display, XkbDescPtr keyboard, int group)
        : m_display(display)
        , m_keyboard(keyboard)
        , m_group(group)
    {
    }

    Display* m_display;
    XkbDescPtr m_keyboard;
    int m_group;
};

} // namespace

std::unique_ptr<KeyboardLayout> currentPlatformKeyboardLayout()
{
    return XkbKeyboardLayout::open();
}

} // namespace QV::UIA::DETAIL
