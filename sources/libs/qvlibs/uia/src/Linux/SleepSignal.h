#pragma once

#include <functional>
#include <memory>

#include <systemd/sd-bus.h>

namespace QV::UIA::DETAIL {

// A connection to the system bus that hears logind's PrepareForSleep signal.
// It never blocks: the caller watches its descriptor and calls process()
// when the descriptor is ready.
//
// Thread affinity: the thread that made it.
class SleepSignal
{
public:
    // Called with true before the system sleeps and with false after it
    // woke.
    using Handler = std::function<void(bool sleeping)>;

    // Connects to the system bus, or to DBUS_SYSTEM_BUS_ADDRESS when set, and
    // asks for the signal; null when there is no bus.
    static std::unique_ptr<SleepSignal> connect(Handler handler);
    ~SleepSignal();
    SleepSignal(const SleepSignal&) = delete;
    SleepSignal& operator=(const SleepSignal&) = delete;

    int descriptor() const;
    // Whether messages wait to be written, so that the descriptor's
    // writability matters too.
    bool wantsWrite() const;
    // Handles whatever the bus has sent and writes what waits, without
    // blocking; false once the connection is closed.
    bool process();

private:
    SleepSignal(sd_bus* bus, Handler handler) noexcept;
    static int onSignal(sd_bus_message* message, void* self, sd_bus_error* error);

    sd_bus* m_bus = nullptr;
    sd_bus_slot* m_match = nullptr;
    Handler m_handler;
};

} // namespace QV::UIA::DETAIL
