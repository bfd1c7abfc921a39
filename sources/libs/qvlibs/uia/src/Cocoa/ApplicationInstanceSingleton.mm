#include <QV/UIA/ApplicationInstanceSingleton.h>

#include "Posix/InstanceLock.h"

#include <QV/GP/DebugTrace.h>

#import <Foundation/Foundation.h>

#include <mutex>

namespace QV::UIA {

namespace {

// GNUstep's workspace lists no running applications by bundle identifier, so
// instances meet at a lock of the machine's named after the identifier
// instead.
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
    return hasConflictingInstanceOf(instanceKey());
}

bool ApplicationInstanceSingleton::hasConflictingInstanceOf(std::string const& identifier)
{
    if (identifier.empty())
        return false;
    // Held until the process ends: the claim is what the other instances see.
    static std::mutex s_mutex;
    static DETAIL::InstanceLock s_lock;
    std::lock_guard<std::mutex> guard(s_mutex);
    if (s_lock.held())
        return false;

    switch (s_lock.acquire(identifier, DETAIL::InstanceLock::folder())) {
    case DETAIL::InstanceLock::eAcquired:
        return false;
    case DETAIL::InstanceLock::eHeldElsewhere:
        if (!s_lock.problem().empty())
            GP::DebugTrace::printLine("+uia", "ApplicationInstanceSingleton: " + s_lock.problem() +
                                                  "; taken as held by another instance, maybe another user's");
        return true;
    case DETAIL::InstanceLock::eUnavailable:
        break;
    }
    GP::DebugTrace::printLine("+uia", "ApplicationInstanceSingleton: " + s_lock.problem());
    return false;
}

} // namespace QV::UIA
