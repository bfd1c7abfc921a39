#include "EventTimerManagerMacosBridge.h"

#include <QV/GP/OBJC/ClassFactory.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"
#include "ObjCMethod.h"

#include <cstdint>

using QV::UIA::COCOA::asIMP;
using QV::UIA::COCOA::superImplementation;

namespace {

objc_class* s_timerCallbackClass = Nil;

struct TimerCallbackIvars {
    QV::UIA::AbstractEventTimerManagerOsBridge* bridge;
    NSTimer* timer;
    float interval;
};

TimerCallbackIvars& ivars(id self)
{
    // The variable holds the record itself.
    static Ivar ivar = class_getInstanceVariable(object_getClass(self), "state");
    return *reinterpret_cast<TimerCallbackIvars*>(reinterpret_cast<char*>(self) + ivar_getOffset(ivar));
}

// One repeating timer serves for the manager's whole life. GNUstep drops an
// invalidated timer from a mode's list only when that mode runs, so a fresh
// one-shot timer per tick, added to the modal and event-tracking modes that
// rarely run, would pile up there by the thousand (and GNUstep warns of it).
void scheduleTimer(id self)
{
    TimerCallbackIvars& state = ivars(self);
    NSTimer* timer = [NSTimer timerWithTimeInterval:state.interval
                                             target:self
                                           selector:@selector(onTimer:)
                                           userInfo:nil
                                            repeats:YES];
    NSRunLoop* loop = [NSRunLoop currentRunLoop];
    [loop addTimer:timer forMode:NSDefaultRunLoopMode];
    [loop addTimer:timer forMode:NSModalPanelRunLoopMode];
    [loop addTimer:timer forMode:NSEventTrackingRunLoopMode];
    state.timer = timer;
}

id timerCallbackInit(id self, SEL command, id bridge, id duration)
{
    self = reinterpret_cast<id (*)(id, SEL)>(superImplementation(self, @selector(init)))(self, @selector(init));
    (void)command;
    if (!self)
        return self;
    TimerCallbackIvars& state = ivars(self);
    state.bridge = reinterpret_cast<QV::UIA::AbstractEventTimerManagerOsBridge*>(bridge);
    state.interval = static_cast<float>(reinterpret_cast<std::intptr_t>(duration)) / 1000.0f;
    scheduleTimer(self);
    return self;
}

void timerCallbackDetach(id self, SEL)
{
    TimerCallbackIvars& state = ivars(self);
    [state.timer invalidate];
    state.timer = nil;
    state.bridge = nullptr;
}

void timerCallbackOnTimer(id self, SEL, NSTimer*)
{
    TimerCallbackIvars& state = ivars(self);
    if (!state.bridge)
        return;
    state.bridge->notifySubscribers();
}

struct TimerCallbackClassFactory {
    TimerCallbackClassFactory()
    {
        if (!factory.generateUniqueClass("ComVelmoraCocoaNSTimerCallback", "NSObject"))
            return;
        factory.addMemberVar("state", sizeof(TimerCallbackIvars), 3, "{TimerCallbackIvars=^v^vf}");
        factory.addMethod(@selector(initWithEventTimerManagerMacosBridge:duration:), asIMP(timerCallbackInit),
                          "@@:^v^v");
        factory.addMethod(@selector(detach), asIMP(timerCallbackDetach), "v@:");
        factory.addMethod(@selector(onTimer:), asIMP(timerCallbackOnTimer), "v@:@");
        factory.doRegister();
    }
    QV::GP::OBJC::ClassFactory factory{s_timerCallbackClass};
} s_timerCallbackClassFactory;

} // namespace

namespace QV::UIA {

EventTimerManagerMacosBridge::EventTimerManagerMacosBridge(EventTimerManager& manager) noexcept
    : AbstractEventTimerManagerOsBridge(manager)
{
}

EventTimerManagerMacosBridge::~EventTimerManagerMacosBridge()
{
    deinstall();
}

void EventTimerManagerMacosBridge::install(std::chrono::milliseconds tick)
{
    if (m_timerObject || !s_timerCallbackClass)
        return;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    id object = [(Class)s_timerCallbackClass alloc];
    object = [object performSelector:@selector(initWithEventTimerManagerMacosBridge:duration:)
                          withObject:reinterpret_cast<id>(static_cast<AbstractEventTimerManagerOsBridge*>(this))
                          withObject:reinterpret_cast<id>(static_cast<std::intptr_t>(tick.count()))];
    m_timerObject = object;
    [pool release];
}

void EventTimerManagerMacosBridge::deinstall()
{
    if (!m_timerObject)
        return;
    id object = reinterpret_cast<id>(m_timerObject);
    m_timerObject = nullptr;
    [object performSelector:@selector(detach)];
    [object release];
}

std::unique_ptr<AbstractEventTimerManagerOsBridge> DETAIL::makePlatformEventTimerBridge(EventTimerManager& manager)
{
    return std::make_unique<EventTimerManagerMacosBridge>(manager);
}

} // namespace QV::UIA
