// The platform application's part of the layer's start-up and quitting.
#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"

namespace QV::UIA {

void DETAIL::postPlatformTerminate()
{
    // A nil NSApp (no platform application yet) ignores the request.
    [NSApp performSelector:@selector(terminate:) withObject:nil afterDelay:0.0];
}

void DETAIL::setPlatformMainMenu(void* nativeMenu)
{
    [NSApp setMainMenu:reinterpret_cast<NSMenu*>(nativeMenu)];
}

} // namespace QV::UIA
