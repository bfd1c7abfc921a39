// Input that reached the X connection while the main thread was held.
//
// Before each wait of the run loop, GNUstep's X back end (0.29) asks its
// connection whether input is pending (XPending). When it is, the back end
// asks the loop to hand it over at once instead of watching the connection's
// socket, and moves the events into the application's event queue. GNUstep's
// run loop (base 1.28), however, ends a wait only when poll() reports a ready
// descriptor or the wait's limit date passes: input taken that way does not
// count, and the loop goes back to poll() with the events left in the queue.
// Input comes that way exactly when it arrived while the main thread was held
// (the keyboard being switched into update mode, a scan of the bus). While a
// widget timer runs, the timer's next tick ends the wait soon enough; on a page
// where none runs, a quit pressed during the switch waited for the next motion
// of the mouse or, without one, for GNUstep's housekeeping timer, up to half a
// minute.
//
// A watcher of the layer's own is asked the same question before each wait.
// When input is pending, it makes a descriptor of its own readable, so that
// the wait ends at once and the application takes the events in order, each
// once.
#include "QueuedInputWatch.h"

#include <QV/GP/OBJC/ClassFactory.h>

#include "GNUstepHeaders.h"
#include "ObjCMethod.h"

#import <GNUstepGUI/GSDisplayServer.h>

#include <X11/Xlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

using QV::UIA::COCOA::asIMP;

namespace QV::UIA::COCOA {

namespace {

objc_class* s_watcherClass = nullptr;
// The descriptor that ends the wait, and whether it is readable now.
int s_wake = -1;
bool s_woken = false;

// The X connection of the application's display server; null when there is
// none.
Display* serverDisplay()
{
    GSDisplayServer* server = GSCurrentServer();
    return server ? static_cast<Display*>([server serverDevice]) : nullptr;
}

// Whether events wait in Xlib's queue or on the connection. Reads what has
// arrived without waiting, as the back end itself does before each wait.
bool inputPending(Display* display)
{
    return display && XPending(display) > 0;
}

void* asData(int descriptor)
{
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(descriptor));
}

BOOL watcherShouldBlock(id, SEL, BOOL* trigger)
{
    *trigger = NO;
    if (!s_woken && inputPending(serverDisplay())) {
        const std::uint64_t one = 1;
        s_woken = write(s_wake, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
    }
    // The descriptor is always watched; it is readable only when woken.
    return YES;
}

void watcherReceivedEvent(id, SEL, void*, RunLoopEventType type, void*, NSString* mode)
{
    if (type != ET_RDESC)
        return;
    // The count is of no use: the descriptor only ends the wait.
    std::uint64_t count = 0;
    (void)!read(s_wake, &count, sizeof count);
    s_woken = false;
    // The back end has mostly taken the input already in this turn of the
    // loop. Where this watcher read it from the connection after the back end
    // had looked (the loop asks its watchers in an order of its own), the back
    // end's own handler takes it now, so that the loop is not woken again and
    // again for it.
    Display* display = serverDisplay();
    if (!inputPending(display))
        return;
    id server = GSCurrentServer();
    void* socket = asData(ConnectionNumber(display));
    [server receivedEvent:socket type:ET_RDESC extra:socket forMode:mode];
}

objc_class* watcherClass()
{
    // The factory lives as long as the class: it clears the class variable
    // when it goes.
    static GP::OBJC::ClassFactory factory(s_watcherClass);
    static const bool built = [] {
        if (factory.generateUniqueClass("ComVelmoraQueuedInputWatcher", "NSObject")) {
            factory.addMethod(@selector(runLoopShouldBlock:), asIMP(watcherShouldBlock), "c@:^c");
            factory.addMethod(@selector(receivedEvent:type:extra:forMode:), asIMP(watcherReceivedEvent),
                              "v@:^vi^v@");
            factory.doRegister();
        }
        return s_watcherClass != nullptr;
    }();
    return built ? s_watcherClass : nullptr;
}

} // namespace

void watchQueuedInput()
{
    static id watcher = nil;
    if (watcher || !watcherClass() || !serverDisplay())
        return;
    // A display server that takes its input otherwise is left alone.
    if (![GSCurrentServer() respondsToSelector:@selector(receivedEvent:type:extra:forMode:)])
        return;
    s_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (s_wake < 0)
        return;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    // Kept for the life of the process, as the display server is.
    watcher = [[(Class)watcherClass() alloc] init];
    // The modes in which the application takes events: its own loop, a
    // dialog's, and a menu's or a button's while the mouse is tracked.
    NSString* const modes[] = {NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode};
    NSRunLoop* loop = [NSRunLoop currentRunLoop];
    for (NSString* mode : modes)
        [loop addEvent:asData(s_wake) type:ET_RDESC watcher:watcher forMode:mode];
    [pool release];
}

} // namespace QV::UIA::COCOA
