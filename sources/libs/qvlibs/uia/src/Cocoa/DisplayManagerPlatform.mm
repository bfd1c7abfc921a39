// The screens and the notices of a changed display configuration on this
// platform. GNUstep (Debian 12) posts
// NSApplicationDidChangeScreenParametersNotification to observers of the
// notification centre when the X screen changes (RandR), but never calls the
// delegate's applicationDidChangeScreenParameters:, so the layer observes
// the notification itself. The observer is a run-time class like every other
// class the platform calls back.
#include <QV/GP/OBJC/ClassFactory.h>
#include <QV/UIA/DisplayManager.h>

#include "Common/DisplayLayout.h"
#include "GNUstepHeaders.h"
#include "ObjCMethod.h"

#include <algorithm>
#include <utility>
#include <vector>

using QV::UIA::COCOA::asIMP;

namespace QV::UIA::DETAIL {

namespace {

objc_class* s_observerClass = nullptr;
id s_observer = nil;
// The one-shot timers started by notices and not yet fired, each retained.
std::vector<NSTimer*> s_activeTimers;

// The modes a timer is added to. A timer added in the common modes never
// fires on GNUstep, so each mode is named.
template <typename Action>
void forEachTimerMode(Action action)
{
    NSString* const modes[] = {NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode};
    for (NSString* mode : modes)
        action(mode);
}

// Every notice starts a timer of its own; earlier ones are kept, so a change
// that the platform reports in several notices is answered several times.
void observerScreensChanged(id self, SEL, NSNotification*)
{
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    NSTimer* timer = [NSTimer timerWithTimeInterval:1.0
                                             target:self
                                           selector:@selector(displayTimerFired:)
                                           userInfo:nil
                                            repeats:NO];
    NSRunLoop* loop = [NSRunLoop currentRunLoop];
    forEachTimerMode([&](NSString* mode) { [loop addTimer:timer forMode:mode]; });
    s_activeTimers.push_back([timer retain]);
    [pool release];
}

void observerTimerFired(id, SEL, NSTimer* timer)
{
    const auto found = std::find(s_activeTimers.begin(), s_activeTimers.end(), timer);
    if (found == s_activeTimers.end())
        return;
    // Taken out of the set before the application hears of it: the event may
    // end the display manager, which releases every timer in the set.
    s_activeTimers.erase(found);
    DisplayManager::onTimerNotification();
    [timer release];
}

// Built when notices first start: at static initialisation the runtime may
// not have loaded NSObject yet.
objc_class* observerClass()
{
    // The factory lives as long as the class: it clears the class variable
    // when it goes.
    static GP::OBJC::ClassFactory factory(s_observerClass);
    static const bool built = [] {
        if (factory.generateUniqueClass("ComVelmoraDisplayReconfigurationObserver", "NSObject")) {
            factory.addMethod(@selector(screenParametersChanged:), asIMP(observerScreensChanged), "v@:@");
            factory.addMethod(@selector(displayTimerFired:), asIMP(observerTimerFired), "v@:@");
            factory.doRegister();
        }
        return s_observerClass != nullptr;
    }();
    return built ? s_observerClass : nullptr;
}

PlatformRect platformRect(NSRect rect)
{
    return {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
}

} // namespace

std::vector<ScreenGeometry> platformScreens()
{
    std::vector<ScreenGeometry> screens;
    // Screens exist only once the platform application is connected to a
    // display.
    if (!NSApp)
        return screens;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    SEL scaleSelector = NSSelectorFromString(@"backingScaleFactor");
    NSEnumerator* each = [[NSScreen screens] objectEnumerator];
    while (NSScreen* screen = [each nextObject]) {
        ScreenGeometry geometry;
        geometry.frame = platformRect([screen frame]);
        geometry.visibleFrame = platformRect([screen visibleFrame]);
        // Not every version of the platform has the scale factor; it is
        // asked for by name.
        if ([screen respondsToSelector:scaleSelector]) {
            using ScaleMethod = CGFloat (*)(id, SEL);
            geometry.scaleFactor = reinterpret_cast<ScaleMethod>(reinterpret_cast<void (*)()>([screen methodForSelector:scaleSelector]))(screen, scaleSelector);
        }
        screens.push_back(geometry);
    }
    [pool release];
    return screens;
}

void startDisplayNotices()
{
    if (s_observer || !observerClass())
        return;
    s_observer = [[(Class)observerClass() alloc] init];
    [[NSNotificationCenter defaultCenter] addObserver:s_observer
                                             selector:@selector(screenParametersChanged:)
                                                 name:NSApplicationDidChangeScreenParametersNotification
                                               object:nil];
}

void stopDisplayNotices()
{
    for (NSTimer* timer : std::exchange(s_activeTimers, {})) {
        [timer invalidate];
        [timer release];
    }
    if (s_observer) {
        [[NSNotificationCenter defaultCenter] removeObserver:s_observer];
        [s_observer release];
        s_observer = nil;
    }
}

} // namespace QV::UIA::DETAIL
