#include "Cocoa/GNUstepHeaders.h"

// The platform's own close, as the close button gives it: the window's
// delegate is asked first.
void performPlatformClose(void* nsView)
{
    [[reinterpret_cast<NSView*>(nsView) window] performClose:nil];
}
