#include "SleepSignal.h"

#include <systemd/sd-bus.h>

#include <poll.h>

namespace QV::UIA::DETAIL {

std::unique_ptr<SleepSignal> SleepSignal::connect(Handler handler)
{
    // sd-bus itself takes DBUS_SYSTEM_BUS_ADDRESS over the standard socket.
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0)
        return nullptr;
    std::unique_ptr<SleepSignal> signal(new SleepSignal(bus, std::move(handler)));
    // The match is asked for without waiting for the bus's answer, so that a
    // bus that is slow to answer cannot hold up the application's start.
    if (sd_bus_match_signal_async(bus, &signal->m_match, "org.freedesktop.login1", "/org/freedesktop/login1",
                                  "org.freedesktop.login1.Manager", "PrepareForSleep", &SleepSignal::onSignal,
                                  nullptr, signal.get())
        < 0)
        return nullptr;
    return signal;
}

SleepSignal::SleepSignal(sd_bus* bus, Handler handler) noexcept : m_bus(bus), m_handler(std::move(handler)) {}

SleepSignal::~SleepSignal()
{
    sd_bus_slot_unref(m_match);
    sd_bus_flush_close_unref(m_bus);
}

int SleepSignal::descriptor() const
{
    return sd_bus_get_fd(m_bus);
}

bool SleepSignal::wantsWrite() const
{
    const int events = sd_bus_get_events(m_bus);
    return events > 0 && (events & POLLOUT) != 0;
}

bool SleepSignal::process()
{
    int result;
    while ((result = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    return result >= 0 && sd_bus_is_open(m_bus) > 0;
}

int SleepSignal::onSignal(sd_bus_message* message, void* self, sd_bus_error*)
{
    // A signal whose argument is not a boolean is not logind's: it is
    // dropped rather than guessed at.
    int sleeping = 0;
    if (sd_bus_message_read(message, "b", &sleeping) < 0)
        return 0;
    auto* signal = static_cast<SleepSignal*>(self);
    if (signal->m_handler)
        signal->m_handler(sleeping != 0);
    return 0;
}

} // namespace QV::UIA::DETAIL
