#pragma once

#include "GNUstepAppKit.h"

// The platform application's delegate: it starts the current module as the
// application finishes launching, stops it as the application terminates,
// turns the platform's notices into the application's events, and answers
// the platform's question whether to terminate with the application's quit
// decision.
//
// Thread affinity: main thread.
@interface QVCocoaAppDelegate : NSObject {
    BOOL initialised;
    BOOL startFailed;
    BOOL terminating;
}
// Installs itself as the shared application's delegate.
- (id)init;
@end
