#include <QV/GP/URI.h>

#include "Cocoa/GNUstepHeaders.h"

namespace QV::GP {

URI::URI(const __CFURL* const& url)
{
    if (url == nullptr)
        return;
    // The text is autoreleased; a pool of our own keeps it from leaking when
    // the caller runs without one.
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSString* text = [(NSURL*)(const void*)url absoluteString];
    const char* utf8 = text != nil ? [text UTF8String] : nullptr;
    if (utf8 != nullptr)
        m_url = utf8;
    [pool drain];
}

} // namespace QV::GP
