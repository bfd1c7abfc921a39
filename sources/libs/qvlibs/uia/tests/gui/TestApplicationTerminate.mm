#include "Cocoa/GNUstepHeaders.h"

// The platform's own way to quit: it asks the delegate whether to terminate.
void askPlatformToTerminate()
{
    [NSApp terminate:nil];
}
