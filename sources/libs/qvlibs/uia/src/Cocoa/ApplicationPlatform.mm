// The platform application's part of the layer's start-up and quitting.
#include <QV/UIA/Lib.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"

namespace QV::UIA {

void Lib::preparePlatform()
{
    static const bool prepared = [] {
        NSAutoreleasePool* pool = [NSAutoreleasePool new];
        Class magick = NSClassFromString(@"GSImageMagickImageRep");
        if (magick != Nil)
            [NSImageRep unregisterImageRepClass:magick];
        [pool release];
        return true;
    }();
    (void)prepared;
}

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
