#pragma once

#include <QV/GP/CharSequence.h>

// There is no CoreFoundation on this platform. A CFStringRef is a GNUstep
// NSString under its toll-free bridged name, kept opaque here so that plain
// C++ can hold and pass one without the Objective-C headers.
struct __CFString;
typedef const struct __CFString* CFStringRef;

namespace QV::GP {

// Owns one platform string made from UTF-8 text, for the life of a
// platform call. Malformed UTF-8 is dropped on the way.
class CFString
{
public:
    // The flag is accepted for the callers' sake and has no effect.
    explicit CFString(const CharSequence<char>& text, bool unused = false);
    ~CFString();

    CFString(const CFString&) = delete;
    CFString& operator=(const CFString&) = delete;

    CFStringRef get() const noexcept { return m_string; }
    operator CFStringRef() const noexcept { return m_string; }

private:
    CFStringRef m_string;
};

} // namespace QV::GP
