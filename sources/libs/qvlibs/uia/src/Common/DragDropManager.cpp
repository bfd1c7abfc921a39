#include "DragDropPlatform.h"

#include <QV/GP/Application.h>
#include <QV/UIA/ClipBoardFormat.h>
#include <QV/UIA/DragDrop.h>
#include <QV/UIA/DragDropManager.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/ExchangeData.h>
#include <QV/UIA/InternalClipBoardFormat.h>
#include <QV/UIA/WindowBase.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace QV::UIA {

namespace {

struct ManagerState {
    EventTarget* dragTarget = nullptr;
    std::uint32_t dropEffect = 0;
    EventTarget* resultReceiver = nullptr;
    std::set<EventTarget*> observers;
    bool dragInProgress = false;
    // A drag is over one of the windows: from its first request to its drop
    // or its leave.
    bool dragOverWindows = false;
    // The record and window of the internal drag this process runs now.
    const DragDropData* currentData = nullptr;
    const WindowBase* currentWindow = nullptr;
    // The same window as an event target, taken while it is alive, so that
    // its destruction can be recognised.
    const EventTarget* currentWindowTarget = nullptr;
    std::map<std::string, unsigned> formats;
    unsigned formatCounter = 0;
    bool formatCounterSet = false;
};

ManagerState& state()
{
    static ManagerState s;
    return s;
}

// Observers are copied first: a handler may name new receivers or end the
// drag while the set is being walked.
void notifyObservers(unsigned code, EventData* data)
{
    const std::set<EventTarget*> observers = state().observers;
    for (EventTarget* observer : observers)
        observer->sendObserverEvent(code, data);
}

void* nativeWindowOf(const WindowBase* window)
{
    return window ? window->getNSView() : nullptr;
}

} // namespace

bool DragDropManager::handleDragRequestEvent(WindowBase* window, DragDropRequestEventData* request, EventTarget* target)
{
    ManagerState& s = state();
    EventTarget* const previous = s.dragTarget;
    s.dragTarget = nullptr;
    s.dropEffect = 0;
    s.dragOverWindows = true;
    if (request == nullptr)
        return false;

    bool result = false;
    bool refused = false;
    if (request->exchangeData != nullptr
        && request->exchangeData->containsFormat(InternalClipBoardFormat::FormatHandle())) {
        InternalClipBoardFormat internal;
        const bool read = request->exchangeData->getFormat(internal);
        if (!read || !isCurrentDrag(internal.getData(), internal.getWindow()))
            // Another program offers data of the internal type: its
            // pointers mean nothing here and are never followed.
            refused = true;
        else if (internal.getWindow() != nullptr && nativeWindowOf(internal.getWindow()) != nativeWindowOf(window))
            // An in-process record is only dropped in its own window.
            refused = true;
    }

    if (!refused) {
        const bool accepted = target != nullptr && target->sendEvent(kEventDragRequest, request);
        notifyObservers(kEventDragRequest, request);
        if (accepted) {
            if (request->target != nullptr) {
                s.dragTarget = request->target;
                s.dropEffect = request->effect & ~std::uint32_t(DragDropSupport::kDropEffectAcceptedOnly);
            } else if (request->effect == DragDropSupport::kDropEffectAcceptedOnly && !request->receivers.empty()) {
                s.dragTarget = request->receivers.front();
                s.dropEffect = 0;
            }
            result = true;
        }
    }

    if (previous != nullptr && previous != s.dragTarget) {
        DragDropLeavedEventData leave;
        previous->sendEvent(kEventDragLeave, &leave);
    }
    for (EventTarget* receiver : request->receivers)
        if (receiver != nullptr)
            s.observers.insert(receiver);
    return result;
}

bool DragDropManager::handleDragReceiveEvent(DragDropReceiveEventData* receive)
{
    ManagerState& s = state();
    EventTarget* const target = std::exchange(s.dragTarget, nullptr);
    bool result = false;
    if (target != nullptr && receive != nullptr) {
        receive->effect = s.dropEffect;
        if (s.dropEffect != 0) {
            result = target->sendEvent(kEventDragReceive, receive);
            notifyObservers(kEventDragReceive, receive);
        }
        DragDropLeavedEventData leave;
        target->sendEvent(kEventDragLeave, &leave);
        notifyObservers(kEventDragLeave, &leave);
    }
    s.dropEffect = 0;
    s.observers.clear();
    s.dragOverWindows = false;
    return result;
}

bool DragDropManager::handleDragLeavedEvent(DragDropLeavedEventData* leave)
{
    ManagerState& s = state();
    EventTarget* const target = std::exchange(s.dragTarget, nullptr);
    s.dropEffect = 0;
    DragDropLeavedEventData none;
    DragDropLeavedEventData* record = leave != nullptr ? leave : &none;
    const bool result = target != nullptr && target->sendEvent(kEventDragLeave, record);
    notifyObservers(kEventDragLeave, record);
    s.observers.clear();
    s.dragOverWindows = false;
    return result;
}

bool DragDropManager::handleDragFinishedEvent(DragDropSupport::DropResult result)
{
    ManagerState& s = state();
    EventTarget* const receiver = std::exchange(s.resultReceiver, nullptr);
    bool handled = false;
    if (receiver != nullptr) {
        DragDropFinishedEventData finished;
        finished.result = result;
        handled = receiver->sendEvent(kEventDragFinished, &finished);
        notifyObservers(kEventDragFinished, &finished);
    }
    s.observers.clear();
    return handled;
}

unsigned DragDropManager::registerFormat(const char* name)
{
    ManagerState& s = state();
    if (!s.formatCounterSet) {
        s.formatCounter = GP::Application::getSignature();
        s.formatCounterSet = true;
    }
    const std::string key = name != nullptr ? name : "";
    const auto found = s.formats.find(key);
    if (found != s.formats.end())
        return found->second;
    ++s.formatCounter;
    s.formats.emplace(key, s.formatCounter);
    return s.formatCounter;
}

void DragDropManager::DoDragWithCallback(EventTarget* receiver, const ClipBoardFormat& format, unsigned effects,
                                         const DragDropSupport::DragImage* image)
{
    ManagerState& s = state();
    if (s.dragInProgress) {
        // The platform runs one drag at a time; the running one keeps its
        // receiver and record.
        if (receiver != nullptr) {
            DragDropFinishedEventData finished;
            finished.result = DragDropSupport::kDropResultNotStarted;
            receiver->sendEvent(kEventDragFinished, &finished);
        }
        return;
    }
    s.resultReceiver = receiver;
    // A drag of the internal record: the pointers it carries are known as
    // this drag's own while it runs, and as nothing afterwards.
    const auto* internal = dynamic_cast<const InternalClipBoardFormat*>(&format);
    s.currentData = internal ? internal->getData() : nullptr;
    s.currentWindow = internal ? internal->getWindow() : nullptr;
    s.currentWindowTarget = s.currentWindow;
    ExchangeData exchange(format, false);
    DoDragWithCallback(exchange, effects, image);
    s.currentData = nullptr;
    s.currentWindow = nullptr;
    s.currentWindowTarget = nullptr;
}

void DragDropManager::DoDragWithCallback(ExchangeData& exchange, unsigned effects,
                                         const DragDropSupport::DragImage* image)
{
    ManagerState& s = state();
    if (!exchange.hasPasteboard() || s.dragInProgress) {
        handleDragFinishedEvent(DragDropSupport::kDropResultNotStarted);
        return;
    }
    s.dragInProgress = true;
    const bool started = DETAIL::runPlatformDrag(exchange, effects, image);
    s.dragInProgress = false;
    if (!started)
        handleDragFinishedEvent(DragDropSupport::kDropResultNotStarted);
    else if (s.resultReceiver != nullptr)
        // The platform ended the drag without telling its result: the
        // receiver still learns that it is over.
        handleDragFinishedEvent(DragDropSupport::kDropResultNone);
}

bool DragDropManager::isDragInProgress() noexcept
{
    return state().dragInProgress;
}

bool DragDropManager::isAnyDragRunning() noexcept
{
    const ManagerState& s = state();
    return s.dragInProgress || s.dragOverWindows;
}

void DragDropManager::noteMouseOutsideDrag() noexcept
{
    state().dragOverWindows = false;
}

bool DragDropManager::isCurrentDrag(const DragDropData* data, const WindowBase* window) noexcept
{
    const ManagerState& s = state();
    return s.dragInProgress && data != nullptr && data == s.currentData && window == s.currentWindow;
}

void DragDropManager::forgetTarget(const EventTarget* target) noexcept
{
    ManagerState& s = state();
    if (s.dragTarget == target)
        s.dragTarget = nullptr;
    if (s.resultReceiver == target)
        s.resultReceiver = nullptr;
    s.observers.erase(const_cast<EventTarget*>(target));
    // A record naming a window that is gone is nobody's any more: it is
    // refused like a forged one, and the window is never reached.
    if (s.currentWindowTarget != nullptr && s.currentWindowTarget == target) {
        s.currentWindow = nullptr;
        s.currentWindowTarget = nullptr;
        s.currentData = nullptr;
    }
}

void DragDropManager::reset() noexcept
{
    ManagerState& s = state();
    s.dragTarget = nullptr;
    s.dropEffect = 0;
    s.resultReceiver = nullptr;
    s.observers.clear();
    s.dragOverWindows = false;
}

} // namespace QV::UIA
