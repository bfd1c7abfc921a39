#pragma once

#include <functional>
#include <memory>

namespace QV::UIA {

// Turns the system's sleep and wake notices into the application's
// onSystemSleep and onSystemWake, called on the main run loop. On this
// platform the notices are logind's PrepareForSleep signal on the system bus
// (DBUS_SYSTEM_BUS_ADDRESS when set): true calls the sleep callable, false
// the wake callable. No delay inhibitor is taken, so the system never waits
// for this program before it sleeps. Without a system bus nothing arrives,
// and construction still succeeds.
//
// The callables are process-wide: the last manager made sets them, and its
// destruction clears them, since they usually call the object that owns it.
//
// Thread affinity: main thread.
class PowerManager
{
public:
    PowerManager(std::function<void()> onSleep, std::function<void()> onWake);
    ~PowerManager();
    PowerManager(const PowerManager&) = delete;
    PowerManager& operator=(const PowerManager&) = delete;

    // Whether this manager is connected to the bus that carries the notices.
    bool isReceivingNotices() const noexcept;

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
};

} // namespace QV::UIA
