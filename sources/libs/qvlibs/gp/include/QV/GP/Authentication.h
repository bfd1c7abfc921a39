#pragma once

namespace QV::GP {

// The process-privilege record: whether the process runs as the superuser,
// and a lock for privileged work. Authorization Services do not exist on
// Linux, so there is never an authorisation reference to release.
//
// Thread affinity: init and deInit on the main thread.
class Authentication
{
public:
    Authentication() = delete;

    // Records whether the process is elevated (on every call); false when
    // already started, or when no lock object could be had.
    static bool init();
    static void deInit();

    static bool isInited() noexcept { return s_bInited; }
    static bool isProcessElevated() noexcept { return s_bProcessElevated; }

private:
    static bool s_bInited;
    static bool s_bProcessElevated;
};

} // namespace QV::GP
