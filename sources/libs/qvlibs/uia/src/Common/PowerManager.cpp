#include <QV/UIA/PowerManager.h>

namespace QV::UIA {

namespace {
// The process-wide callbacks that a power notice would call.
std::function<void()> s_onSleep;
std::function<void()> s_onWake;
} // namespace

PowerManager::PowerManager(std::function<void()> onSleep, std::function<void()> onWake)
{
    s_onSleep = std::move(onSleep);
    s_onWake = std::move(onWake);
}

PowerManager::~PowerManager()
{
    // The callables name the application that owns this manager.
    s_onSleep = nullptr;
    s_onWake = nullptr;
}

} // namespace QV::UIA
