#include <QV/UIA/PowerManager.h>

#include "Common/PlatformHooks.h"
#include "SleepSignal.h"

namespace QV::UIA {

namespace {
// The process-wide callbacks that a power notice calls.
std::function<void()> s_onSleep;
std::function<void()> s_onWake;

void onPrepareForSleep(bool sleeping)
{
    // Copied first: the callable may replace itself, for instance by ending
    // the application that set it.
    const std::function<void()> callback = sleeping ? s_onSleep : s_onWake;
    if (callback)
        callback();
}
} // namespace

struct PowerManager::Connection {
    std::unique_ptr<DETAIL::SleepSignal> signal;
    std::unique_ptr<DETAIL::PlatformDescriptorWatch> watch;

    void onReady()
    {
        if (!signal->process()) {
            // A closed connection stays readable for ever: watching it would
            // spin the run loop. The notices end with it.
            watch.reset();
            return;
        }
        watch->setWriteInterest(signal->wantsWrite());
    }
};

PowerManager::PowerManager(std::function<void()> onSleep, std::function<void()> onWake)
{
    if (auto signal = DETAIL::SleepSignal::connect(onPrepareForSleep)) {
        auto connection = std::make_unique<Connection>();
        connection->signal = std::move(signal);
        Connection* raw = connection.get();
        connection->watch =
            DETAIL::watchPlatformDescriptor(raw->signal->descriptor(), [raw] { raw->onReady(); });
        if (connection->watch) {
            connection->watch->setWriteInterest(raw->signal->wantsWrite());
            m_connection = std::move(connection);
        }
    }
    s_onSleep = std::move(onSleep);
    s_onWake = std::move(onWake);
}

PowerManager::~PowerManager()
{
    // The watch goes before the connection whose descriptor it watches.
    if (m_connection)
        m_connection->watch.reset();
    m_connection.reset();
    // The callables name the application that owns this manager.
    s_onSleep = nullptr;
    s_onWake = nullptr;
}

bool PowerManager::isReceivingNotices() const noexcept
{
    return m_connection && m_connection->watch;
}

} // namespace QV::UIA
