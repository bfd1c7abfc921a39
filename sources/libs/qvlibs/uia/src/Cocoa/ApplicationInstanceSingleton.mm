#include <QV/UIA/ApplicationInstanceSingleton.h>

#include "Posix/InstanceLock.h"

#include <QV/GP/DebugTrace.h>

#import <Foundation/Foundation.h>

#include <mutex>

namespace QV::UIA {

namespace {

// GNUstep's workspace lists no running applications by bundle identifier, so
// instances meet at a per-user lock named after the identifier instead.
std::string instanceKey()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSString* identifier = [[NSBundle mainBundle] bundleIdentifier];
    if ([identifier length] == 0)
        identifier = [[NSProcessInfo processInfo] processName];
    const char* text = [identifier UTF8String];
    std::string key = text ? text : "";
    [pool release];
    return key;
}

} // namespace

bool ApplicationInstanceSingleton::hasConflictingInstance(std::string const& name, Mode)
{
    if (name.empty())
        return false;
    // Held until the process ends: the claim is what the other instances see.
    static std::mutex s_mutex;
    static DETAIL::InstanceLock s_lock;
    std::lock_guard<std::mutex> guard(s_mutex);
    if (s_lock.held())
        return false;

    const auto folder = DETAIL::InstanceLock::folder();
    if (!folder) {
        GP::DebugTrace::printLine("+uia", std::string("ApplicationInstanceSingleton: no private folder for the "
                                                      "instance lock (XDG_RUNTIME_DIR unusable, "
                                                      "/tmp/qv-instances-<uid> not the user's own)"));
        return false;
    }
    switch (s_lock.acquire(instanceKey(), *folder)) {
    case DETAIL::InstanceLock::eAcquired:
        return false;
    case DETAIL::InstanceLock::eHeldElsewhere:
        return true;
    case DETAIL::InstanceLock::eUnavailable:
        break;
    }
    GP::DebugTrace::printLine("+uia", "ApplicationInstanceSingleton: " + s_lock.problem());
    return false;
}

} // namespace QV::UIA
