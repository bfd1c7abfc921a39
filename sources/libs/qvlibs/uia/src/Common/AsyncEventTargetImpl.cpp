#include <QV/UIA/AsyncEventTarget.h>
#include <QV/UIA/EventData.h>

#include "PlatformHooks.h"

#include <atomic>
#include <map>
#include <mutex>

namespace QV::UIA {

namespace {

// Built on first use, so that targets destroyed during static destruction
// still find them; never destroyed for the same reason.
std::recursive_mutex& handlesMutex()
{
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

std::map<unsigned, EventTarget*>& handles()
{
    static auto* map = new std::map<unsigned, EventTarget*>;
    return *map;
}

unsigned s_lastHandle = 0;
std::atomic<bool> s_initialized{false};

} // namespace

bool AsyncEventTargetImpl::init(bool skip)
{
    if (skip || s_initialized)
        return true;
    DETAIL::initAsyncPlatform();
    s_initialized = true;
    return true;
}

void AsyncEventTargetImpl::deInit()
{
    if (!s_initialized.exchange(false))
        return;
    DETAIL::deInitAsyncPlatform();
}

bool AsyncEventTargetImpl::isInitialized() noexcept
{
    return s_initialized;
}

unsigned AsyncEventTargetImpl::registerTarget(EventTarget* target)
{
    if (!target)
        return 0;
    std::lock_guard lock(handlesMutex());
    // Handles are not reused soon, so that an event posted for a target that
    // has gone meanwhile does not reach its successor.
    do {
        ++s_lastHandle;
    } while (s_lastHandle == 0 || handles().count(s_lastHandle));
    handles()[s_lastHandle] = target;
    return s_lastHandle;
}

void AsyncEventTargetImpl::unregisterTarget(unsigned handle)
{
    std::lock_guard lock(handlesMutex());
    handles().erase(handle);
}

void AsyncEventTargetImpl::forgetTarget(EventTarget* target) noexcept
{
    std::lock_guard lock(handlesMutex());
    auto& map = handles();
    for (auto it = map.begin(); it != map.end();) {
        if (it->second == target)
            it = map.erase(it);
        else
            ++it;
    }
}

bool AsyncEventTargetImpl::postEvent(unsigned code, unsigned handle)
{
    return s_initialized && DETAIL::postAsyncPlatform(code, handle);
}

bool AsyncEventTargetImpl::dispatchEvent(unsigned code, unsigned handle)
{
    std::lock_guard lock(handlesMutex());
    const auto it = handles().find(handle);
    if (it == handles().end())
        return false;
    EventData none;
    return it->second->sendEvent(code, &none);
}

} // namespace QV::UIA
