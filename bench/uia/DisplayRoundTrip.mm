#include "Cocoa/GNUstepHeaders.h"

#import <GNUstepGUI/GSDisplayServer.h>

// Asking for the pointer needs the server's answer, which comes only after
// it has handled every earlier request of this connection.
void roundTripToDisplayServer()
{
    int window = 0;
    [GSCurrentServer() mouseLocationOnScreen:0 window:&window];
}
