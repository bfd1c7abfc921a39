#include <QV/UIA/AsyncEventTarget.h>
#include <QV/UIA/DragDropManager.h>
#include <QV/UIA/EventTarget.h>
#include <QV/UIA/EventTimerManager.h>

namespace QV::UIA {

EventTarget::~EventTarget()
{
    // A subscription or a destination handle that outlived its target would
    // later deliver an event to freed memory.
    if (EventTimerManager* manager = EventTimerManager::getSingleton())
        manager->removeTarget(this);
    AsyncEventTargetImpl::forgetTarget(this);
    DragDropManager::forgetTarget(this);
}

bool EventTarget::sendEvent(unsigned code, EventData* data)
{
    return onEvent(code, data);
}

void EventTarget::sendObserverEvent(unsigned code, EventData* data)
{
    onObserverEvent(code, data);
}

bool EventTarget::onEvent(unsigned, EventData*)
{
    return false;
}

void EventTarget::onObserverEvent(unsigned, EventData*)
{
}

HEventTimer EventTarget::setEventTimer(int intervalMs, int priority)
{
    EventTimerManager* manager = EventTimerManager::getSingleton();
    return manager ? manager->subscribe(this, intervalMs, priority) : nullptr;
}

void EventTarget::killEventTimer(HEventTimer timer)
{
    if (EventTimerManager* manager = EventTimerManager::getSingleton())
        manager->unsubscribe(this, timer);
}

} // namespace QV::UIA
