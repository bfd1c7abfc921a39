#include <QV/GP/CFString.h>

#include "Common/UTFCodec.h"

#import <Foundation/NSString.h>

namespace QV::GP {

CFString::CFString(const CharSequence<char>& text, bool)
{
    const std::basic_string<unichar> units = UTFCodec::utf8ToUTF16<unichar>(text.data(), text.length());
    NSString* string = [[NSString alloc] initWithCharacters:units.data() length:units.size()];
    m_string = (CFStringRef)(const void*)string;
}

CFString::~CFString()
{
    [(NSString*)(const void*)m_string release];
}

} // namespace QV::GP
