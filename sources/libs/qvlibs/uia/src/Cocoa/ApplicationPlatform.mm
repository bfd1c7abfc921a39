// The platform application's part of the layer's start-up and quitting.
#include <QV/UIA/Lib.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"

namespace QV::UIA {

namespace {

// Image classes whose file types GNUstep need not try when it finds and
// loads a named image: ImageMagick's, and those of formats that neither
// GNUstep's own images (TIFF) nor the application icon (PNG) come in
// (PostScript, PDF, QuickDraw pictures). GNUstep goes through every library
// folder for each type, for each image.
NSString* const kUnusedImageClasses[] = {@"GSImageMagickImageRep", @"NSEPSImageRep", @"NSPDFImageRep",
                                         @"NSPICTImageRep"};

} // namespace

void Lib::preparePlatform()
{
    static const bool prepared = [] {
        NSAutoreleasePool* pool = [NSAutoreleasePool new];
        for (NSString* name : kUnusedImageClasses)
            if (Class unused = NSClassFromString(name); unused != Nil)
                [NSImageRep unregisterImageRepClass:unused];
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
