// The first click into the application.
//
// GNUstep's X back end (0.29) sets up its mouse handling (double-click time,
// move threshold, wheel steps) on the first button press it reads, while it
// turns that press into an event, and there registers with the distributed
// notification centre for changes of the defaults. The registration is a
// round trip to GNUstep's notification daemon, during which the run loop runs
// and the back end reads what has arrived meanwhile: the release of a tap
// (press and release sent together, as a touchpad's tap-to-click and
// `xdotool click` send them) enters the application's event queue before its
// press. The window drops a release that comes before any press; the press
// that follows leaves a button drawn pressed, or on the close box of the title
// bar that GNUstep draws starts its tracking of that button, which takes
// nothing but mouse events until the next release, so that keys such as Alt+Q
// are ignored until the user clicks again.
//
// Set up before the first window is shown, the mouse handling is in place
// when the first press comes, and the press is read and queued at once, ahead
// of its release.
#include "MouseSetup.h"

#include "GNUstepHeaders.h"

#import <GNUstepGUI/GSDisplayServer.h>

namespace QV::UIA::COCOA {

void setUpMouseBeforeFirstClick()
{
    static bool done = false;
    GSDisplayServer* server = GSCurrentServer();
    if (done || !server)
        return;
    done = true;
    // The back end's own step, by name: it is not part of the display
    // server's interface. Another back end sets its mouse up otherwise and is
    // left alone.
    const SEL setUp = NSSelectorFromString(@"initializeMouse");
    if (![server respondsToSelector:setUp])
        return;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    try {
        [server performSelector:setUp];
    } catch (...) {
        // What a notification daemon that cannot be reached raises stops
        // here; the first press meets it as it did before. A catch-all: with
        // g++ 12 and the GNU Objective-C runtime a typed @catch crashes when
        // GNUstep raises.
    }
    [pool release];
}

} // namespace QV::UIA::COCOA
