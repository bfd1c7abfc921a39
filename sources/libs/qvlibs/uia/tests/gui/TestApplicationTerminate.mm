#include "Cocoa/GNUstepHeaders.h"

// The platform's own way to quit: it asks the delegate whether to terminate.
void askPlatformToTerminate()
{
    [NSApp terminate:nil];
}

// What the window's close button does: the window is asked whether it may
// close, then closes.
void askWindowToClose(void* view)
{
    [[reinterpret_cast<NSView*>(view) window] performClose:nil];
}
