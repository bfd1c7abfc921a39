#pragma once

#include <cstdint>
#include <map>

namespace QV::UIA::DETAIL {

class KeyboardLayout;

// The two key tables, indexed by the platform's key code (an X keycode: the
// kernel's input code + 8). `s_VKeyToUIA` gives the layer's key code of a
// key as the current layout labels it; `s_VKeyToUIAScan` gives its position
// key: the code the key bears on a US layout, the same under every layout.
// Keys whose code does not depend on the layout (named keys, function keys,
// the digit row and the keypad) are fixed in both.
//
// Thread affinity: main thread. The tables are built once, before any key
// event, and only read afterwards.
class Keys
{
public:
    Keys() = delete;

    static constexpr unsigned kTableSize = 256;

    // Builds the tables once from the keyboard layout current at that
    // moment; later calls return at once. Always true: without a layout the
    // fixed entries stand alone.
    static bool init();
    static bool isInitialized() noexcept;

    // The key code of the platform key `vkey`; its position key goes to
    // `position`. Codes outside the tables give 0 and 0.
    static unsigned macOSToUIA(unsigned vkey, unsigned& position) noexcept;

    // Clears and rebuilds both tables from `layout` (null: the fixed entries
    // only) and marks them built. init() uses it with the platform's layout;
    // tests pass a layout of their own.
    static void build(const KeyboardLayout* layout);

    // Empties the layer-to-platform key map (library shut-down).
    static void clearUIAToPlatformMap() noexcept;
    static std::map<unsigned, unsigned>& uiaToPlatformMap();

    static std::uint32_t s_VKeyToUIA[kTableSize];
    static std::uint32_t s_VKeyToUIAScan[kTableSize];
    static bool s_bInit;
};

} // namespace QV::UIA::DETAIL
