#include <QV/GP/NSStringRef.h>

#include "Common/UTFCodec.h"

#include <cstring>

namespace QV::GP {

namespace {

NSString* makeNSString(const char* text, std::size_t length, bool emptyIfNull)
{
    if (text == nullptr || length == 0)
        return emptyIfNull ? [[NSString alloc] init] : nil;
    const std::basic_string<unichar> units = UTFCodec::utf8ToUTF16<unichar>(text, length);
    return [[NSString alloc] initWithCharacters:units.data() length:units.size()];
}

} // namespace

NSString* str2NSString(const char* text, bool emptyIfNull)
{
    return makeNSString(text, text != nullptr ? std::strlen(text) : 0, emptyIfNull);
}

NSString* str2NSString(const std::string& text, bool emptyIfNull)
{
    return makeNSString(text.data(), text.size(), emptyIfNull);
}

NSStringRef::~NSStringRef()
{
    [m_string release];
}

void NSStringRef::createWith(const char* text, bool emptyIfNull)
{
    assign(str2NSString(text, emptyIfNull), false);
}

void NSStringRef::createWith(const std::string& text, bool emptyIfNull)
{
    assign(str2NSString(text, emptyIfNull), false);
}

void NSStringRef::assign(NSString* string, bool retain)
{
    if (string == m_string)
        return;
    [m_string release];
    m_string = string;
    if (retain)
        [m_string retain];
}

} // namespace QV::GP
