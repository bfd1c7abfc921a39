// The platform application's part of the layer's start-up and quitting.
#include <QV/UIA/Lib.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"

namespace QV::UIA {

namespace {

// Image classes whose file types GNUstep's named-image lookup need not try:
// ImageMagick's, and those of formats that neither GNUstep's own images nor
// this layer's use, which this back end could not draw anyway (PostScript,
// PDF, QuickDraw pictures). Each type left out spares the lookup of every
// named image a round through every library folder.
NSString* const kUnusedImageClasses[] = {@"GSImageMagickImageRep", @"NSEPSImageRep", @"NSPDFImageRep",
                                         @"NSPICTImageRep"};

// GNUstep loads the application icon by the name the information list gives
// it (NSIcon), found first among the application folder's resources, but
// only after trying every image type in every library folder. Named here from
// where that lookup would find it, it is the same file, found at once. A name
// without a file in the application folder is left to GNUstep.
void nameApplicationIcon()
{
    NSBundle* bundle = [NSBundle mainBundle];
    id name = [[bundle infoDictionary] objectForKey:@"NSIcon"];
    if (![name isKindOfClass:[NSString class]] || [[name pathExtension] length] == 0)
        return;
    NSString* path = [bundle pathForResource:[name stringByDeletingPathExtension] ofType:[name pathExtension]];
    if (path == nil)
        return;
    NSImage* image = [[NSImage alloc] initByReferencingFile:path];
    [image setName:name];
    [image release];
}

} // namespace

void Lib::preparePlatform()
{
    static const bool prepared = [] {
        NSAutoreleasePool* pool = [NSAutoreleasePool new];
        for (NSString* name : kUnusedImageClasses)
            if (Class unused = NSClassFromString(name); unused != Nil)
                [NSImageRep unregisterImageRepClass:unused];
        nameApplicationIcon();
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
