#pragma once

#include <QV/GP/CharSequence.h>
#include <QV/UIA/EventData.h>

#include <cstdint>
#include <map>
#include <string>

namespace QV::UIA {

// A handle on a native menu; the handle does not own it. Every native menu
// passes its events (commands 1200, validation 1201, menu opening 1202) to
// its event target, or, without one, up to its supermenu; the main menu's
// target is the application.
//
// The standard application menu (About, Services, Hide, Hide Others, Show
// All, Quit) is built by the layer and shared by every menu bar: the
// commands kCommandAbout and kCommandQuit are already in it, and
// kCommandPreferences is put into it rather than into the menu asked.
//
// Thread affinity: main thread.
class HMenu
{
public:
    // Flags of insertCommandAt.
    static constexpr unsigned kItemDisabled = 1;
    static constexpr unsigned kItemChecked = 2;

    HMenu() = default;
    explicit HMenu(void* nativeMenu) noexcept : m_nativeMenu(nativeMenu) {}
    virtual ~HMenu() = default;

    // The native menu (an NSMenu), or null before create.
    void* getNativeMenu() const noexcept { return m_nativeMenu; }

    // Inserts an item titled `title` ('&' marks are removed, "&&" leaves one
    // '&') that sends `command`, at `index` (negative: at the end), and
    // returns the index. flags: kItemDisabled, kItemChecked. A non-zero
    // shortcut word (key code and modifier bits) becomes the item's key
    // equivalent and enters the shortcut table. Without a native menu no
    // item is made and -1 is returned.
    int insertCommandAt(int index, const GP::CharSequence<char>& title, int command, unsigned flags,
                        unsigned shortcut);
    // Makes the popup's menu, titled `title`, the submenu of a new item at
    // `index` (negative: at the end) and returns the index; -1 when the
    // popup has no items.
    int insertSubMenuAt(int index, const GP::CharSequence<char>& title, const class HPopupMenu& popup);
    // Whether the item sending `command` is enabled; false when there is
    // none.
    bool getItemEnabledId(int command) const;

    // Every keyboard shortcut of every menu: shortcut word to command id,
    // ascending by shortcut word. The application copies it into its
    // accelerators when a menu bar is installed.
    static std::map<unsigned, int>& shortcuts();

protected:
    void* m_nativeMenu = nullptr;
};

class HMenuBar : public HMenu
{
public:
    // Builds the main menu: a native menu titled "MainMenu" whose events go
    // to the application, holding the application menu.
    void create();

    // The shared application menu, built on the first call.
    static HMenu getApplicationMenu();
};

class HPopupMenu : public HMenu
{
public:
    // Builds an empty menu without event target: once inserted as a submenu
    // its events go to its supermenu. The argument is not used.
    void create(int unused = 0);
};

// The record of kEventCommandValidate and kEventMenuWillOpen. commandId is
// 0xFFFFFFFF for kEventMenuWillOpen; menu wraps the native menu concerned
// and is valid only during the call.
struct MenuUpdateEventData : CommandEventData {
    HMenu* menu = nullptr;
};

namespace DETAIL {

// A title as the platform shows it: every '&' is removed and the character
// after it kept as it is, so "&&" leaves one '&'. A trailing '&' is dropped.
std::string menuTitleText(const GP::CharSequence<char>& title);

// The platform's key equivalent of a shortcut word: one UTF-16 character
// and the platform's modifier mask (Shift 0x20000, Control 0x40000, Option
// 0x80000, Command 0x100000, numeric pad 0x200000, function 0x800000).
struct KeyEquivalent {
    std::uint16_t character = 0;
    unsigned long modifierMask = 0;
};
KeyEquivalent keyEquivalentOf(unsigned shortcut) noexcept;

// The shortcut table's answer to the layer's own application commands:
// kCommandQuit and kCommandAbout give Command+Q to kCommandQuit,
// kCommandPreferences gives Command+',' to kCommandPreferences. Other
// commands record `shortcut`, when not 0, under `command`.
void recordShortcut(int command, unsigned shortcut);

} // namespace DETAIL

} // namespace QV::UIA
