#pragma once

#ifndef __OBJC__
#error "NSStringRef.h holds Objective-C types; include it from Objective-C++ sources only"
#endif

#import <Foundation/NSString.h>

#include <string>

namespace QV::GP {

// A new NSString with one retain that the caller owns, converted from UTF-8
// (malformed sequences are dropped). A null or empty text gives an empty
// string when emptyIfNull is true and nil otherwise.
NSString* str2NSString(const char* text, bool emptyIfNull);
NSString* str2NSString(const std::string& text, bool emptyIfNull);

// Owns one retain of an NSString, or holds nil.
class NSStringRef
{
public:
    NSStringRef() noexcept = default;
    ~NSStringRef();

    NSStringRef(const NSStringRef&) = delete;
    NSStringRef& operator=(const NSStringRef&) = delete;

    // Releases the held string and holds a new one made by str2NSString.
    void createWith(const char* text, bool emptyIfNull);
    void createWith(const std::string& text, bool emptyIfNull);

    // Holds string instead of the present one. With retain true the string
    // is retained here; with retain false the caller's own retain passes in.
    // Assigning the string already held changes nothing.
    void assign(NSString* string, bool retain);

    NSString* get() const noexcept { return m_string; }

private:
    NSString* m_string = nil;
};

} // namespace QV::GP
