#include <QV/GP/StringCF.h>

#include "Common/UTFCodec.h"

#import <Foundation/NSString.h>

namespace QV::GP {

StringCF::StringCF(CFStringRef ref)
{
    NSString* string = (NSString*)(const void*)ref;
    const NSUInteger length = string != nil ? [string length] : 0;
    if (length == 0)
        return;
    // GNUstep strings do not expose their characters directly, so they are
    // always copied out.
    std::basic_string<unichar> units(length, unichar(0));
    [string getCharacters:units.data() range:NSMakeRange(0, length)];
    assign(UTFCodec::utf16ToUTF8(units.data(), units.size()));
}

} // namespace QV::GP
