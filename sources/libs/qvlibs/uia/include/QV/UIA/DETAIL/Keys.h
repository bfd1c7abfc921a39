#pragma once

#include <map>

namespace QV::UIA::DETAIL {

// The key tables between the platform's key codes and the layer's. They are
// not filled yet: keys carry no layer key code until keyboard translation is
// built.
//
// Thread affinity: main thread.
class Keys
{
public:
    Keys() = delete;

    // Builds the tables once; always true.
    static bool init();
    static bool isInitialized() noexcept;
    // Empties the layer-to-platform key map (library shut-down).
    static void clearUIAToPlatformMap() noexcept;
    static std::map<unsigned, unsigned>& uiaToPlatformMap();
};

} // namespace QV::UIA::DETAIL
