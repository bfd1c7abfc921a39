#pragma once

namespace QV::UIA::COCOA {

// The layer's native menu items: NSMenuItem objects of a class built at run
// time that are their own target. Choosing one sends kEventCommand with its
// tag to its menu; before it is shown it asks its menu with
// kEventCommandValidate whether it is enabled. An item with tag 0 sends
// nothing and is always enabled.
//
// Thread affinity: main thread.
class MenuItem
{
public:
    MenuItem() = delete;

    // A new native item (an NSMenuItem, owned by the caller); null when the
    // class could not be built.
    static void* create();
};

} // namespace QV::UIA::COCOA
