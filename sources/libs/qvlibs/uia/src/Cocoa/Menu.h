#pragma once

#include <QV/UIA/EventTarget.h>

namespace QV::UIA::COCOA {

// The layer's native menus: NSMenu objects of a class built at run time
// that carry an event target. A menu without a target passes its events up
// to its supermenu; at the top of a chain without a target every event goes
// unhandled.
//
// Thread affinity: main thread.
class Menu
{
public:
    Menu() = delete;

    // A new native menu (an NSMenu, owned by the caller) that sends its
    // events to `target` (may be null) and is its own delegate; null when
    // the class could not be built.
    static void* create(EventTarget* target);

    // Sends the event to the target of `menu` or of the nearest supermenu
    // that has one; false when none handles it.
    static bool processEvent(void* menu, unsigned code, EventData* data);

    // Whether the object is a menu of the layer's own class.
    static bool isLayerMenu(void* menu);

    // Makes the menu bar a part of each window, as on the desktops this
    // system runs on, rather than a floating menu of its own. A registered
    // default: the user's own setting of NSMenuInterfaceStyle wins.
    static void chooseMenuStyle();

    // Under the in-window menu style, gives the native window (an NSWindow)
    // the platform application's main menu as its menu bar. It must happen
    // before the window is shown; other styles leave the window alone.
    static void attachMainMenuToWindow(void* window);
};

} // namespace QV::UIA::COCOA
