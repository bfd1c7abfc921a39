#pragma once

#include <functional>

namespace QV::UIA {

// Turns the system's sleep and wake notices into the application's
// onSystemSleep and onSystemWake. No power notices are received on this
// platform yet: the callables are kept but never called.
//
// Thread affinity: main thread.
class PowerManager
{
public:
    PowerManager(std::function<void()> onSleep, std::function<void()> onWake);
    ~PowerManager();
    PowerManager(const PowerManager&) = delete;
    PowerManager& operator=(const PowerManager&) = delete;

    // Whether system power notices reach this manager.
    bool isReceivingNotices() const noexcept { return false; }
};

} // namespace QV::UIA
