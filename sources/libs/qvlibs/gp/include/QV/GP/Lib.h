#pragma once

#include <QV/GP/FileTypeMacMagic.h>

namespace QV::GP {

// Start and stop of the foundation library as a whole.
//
// init() brings the process-wide services up in a fixed order and deInit()
// takes them down in reverse; every library above checks with
// checkVersionAndFlavour() that it was built against this foundation. A
// mismatch, or a second init() while started, is a failed assertion: by
// default the process ends with code 1.
//
// Thread affinity: main thread, before and after all other use.
class Lib
{
public:
    Lib() = delete;

    static constexpr int kVersion = 0x02030000;
    static constexpr int kFlavour = 69;

    // True when the library is up; false (with everything shut down again)
    // when a service could not start.
    static bool init(FileTypeMacMagic signature, const char* name, int version, int flavour);
    static void checkVersionAndFlavour(int version, int flavour);
    // Safe when init() failed or never ran.
    static void deInit();

    // Chooses the locale of the library's own texts; null means no preference.
    static void initLocale(const char* locale);

    static bool isInitialized() noexcept { return s_bInitialized; }

    // When false before init(), start-up leaves volume-mount notification off.
    static void setInitializeDeviceNotifications(bool enable) noexcept
    {
        s_bInitializeDeviceNotifications = enable;
    }

private:
    static bool s_bInitialized;
    static bool s_bInitializeDeviceNotifications;
};

} // namespace QV::GP
