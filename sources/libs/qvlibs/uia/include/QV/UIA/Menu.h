#pragma once

#include <map>

namespace QV::UIA {

// A handle on a native menu; the handle does not own it.
//
// Only the empty main menu exists so far: commands, submenus and the
// standard application menu are not built yet.
//
// Thread affinity: main thread.
class HMenu
{
public:
    HMenu() = default;
    virtual ~HMenu() = default;

    // The native menu (an NSMenu), or null before create.
    void* getNativeMenu() const noexcept { return m_nativeMenu; }

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
    // Builds the main menu: an empty native menu titled "MainMenu".
    void create();
};

} // namespace QV::UIA
