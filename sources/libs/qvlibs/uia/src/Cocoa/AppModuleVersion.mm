#include <QV/GP/CurrentDSOHandle.h>
#include <QV/UIA/AppModule.h>

#include "GNUstepHeaders.h"

namespace QV::UIA {

bool AppModule::getVersionInfo(std::string& out)
{
    NSBundle* bundle = reinterpret_cast<NSBundle*>(GP::getCurrentDSOHandle());
    id value = nil;
    if (bundle) {
        NSDictionary* info = [bundle infoDictionary];
        value = [info objectForKey:@"CFBundleShortVersionString"];
        if (!value)
            value = [info objectForKey:@"CFBundleVersion"];
    }
    if (![value isKindOfClass:[NSString class]]) {
        // Replaced, not appended: the caller's text would otherwise read as
        // part of the version.
        out = "?.??.???";
        return false;
    }
    out = DETAIL::cutVersionText([(NSString*)value UTF8String]);
    return true;
}

} // namespace QV::UIA
