#pragma once

namespace QV::QTK {

// Start-up and shut-down of the widget toolkit: checks the foundation's
// version and flavour (a mismatch is a failed assertion), takes a share of
// the region pool the panes paint with, and starts with the skin search off.
// Shut-down forgets the cached pictures and fonts.
//
// Thread affinity: main thread, after the platform layer's start-up.
class Lib
{
public:
    Lib() = delete;

    // True when the toolkit is up; a second call while up changes nothing.
    static bool init();
    // Safe when init failed or never ran.
    static void deInit();

    static bool isInitialized() noexcept { return s_bInitialized; }

private:
    static bool s_bInitialized;
};

} // namespace QV::QTK
