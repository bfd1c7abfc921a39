#include <QV/GP/OBJC/ClassFactory.h>
#include <QV/UIA/AsyncEventTarget.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"
#include "ObjCMethod.h"

#include <cstdint>
#include <mutex>

@interface NSObject (QVAsyncNotificationPayload)
- (id)initWithCode:(unsigned)code andDest:(unsigned)dest;
@end

using QV::UIA::COCOA::asIMP;
using QV::UIA::COCOA::superImplementation;

namespace {

objc_class* s_notificationClass = Nil;
objc_class* s_dispatcherClass = Nil;

// The platform state, guarded by one recursive lock so that a poster on
// another thread never uses a name or dispatcher that deInit is releasing.
// Recursive because a post on the main thread dispatches at once, and the
// handler may post again.
std::recursive_mutex& platformMutex()
{
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}
id s_dispatcher = nil;
NSString* s_notificationName = nil;
bool s_platformInitialized = false;

std::uint32_t* payloadField(id payload, const char* name)
{
    Ivar ivar = class_getInstanceVariable(object_getClass(payload), name);
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(payload) + ivar_getOffset(ivar));
}

id notificationInit(id self, SEL, std::uint32_t code, std::uint32_t dest)
{
    self = reinterpret_cast<id (*)(id, SEL)>(superImplementation(self, @selector(init)))(self, @selector(init));
    if (self) {
        *payloadField(self, "theCode") = code;
        *payloadField(self, "theDest") = dest;
    }
    return self;
}

void dispatcherDispatchEvent(id, SEL, id payload)
{
    bool initialized;
    {
        std::lock_guard lock(platformMutex());
        initialized = s_platformInitialized;
    }
    if (initialized && payload)
        QV::UIA::AsyncEventTargetImpl::dispatchEvent(*payloadField(payload, "theCode"), *payloadField(payload, "theDest"));
}

void dispatcherReceiveEvent(id self, SEL, NSNotification* notification)
{
    id payload = [notification object];
    if (!s_platformInitialized || !payload)
        return;
    // performSelectorOnMainThread retains the payload until the main run
    // loop has dispatched it, so the poster's own reference can go at once.
    if ([NSThread isMainThread])
        [self performSelector:@selector(dispatchEvent:) withObject:payload];
    else
        [self performSelectorOnMainThread:@selector(dispatchEvent:) withObject:payload waitUntilDone:NO];
}

struct AsyncClassFactories {
    AsyncClassFactories()
    {
        if (notificationFactory.generateUniqueClass("ComVelmoraAsyncNotification", "NSObject")) {
            notificationFactory.addMemberVar("theCode", 4, 2, "I");
            notificationFactory.addMemberVar("theDest", 4, 2, "I");
            notificationFactory.addMethod(@selector(initWithCode:andDest:), asIMP(notificationInit), "@@:II");
            notificationFactory.doRegister();
        }
        if (dispatcherFactory.generateUniqueClass("ComVelmoraAsyncNotificationDispatcher", "NSObject")) {
            dispatcherFactory.addMethod(@selector(receiveEvent:), asIMP(dispatcherReceiveEvent), "v@:@");
            dispatcherFactory.addMethod(@selector(dispatchEvent:), asIMP(dispatcherDispatchEvent), "v@:@");
            dispatcherFactory.doRegister();
        }
    }
    QV::GP::OBJC::ClassFactory notificationFactory{s_notificationClass};
    QV::GP::OBJC::ClassFactory dispatcherFactory{s_dispatcherClass};
} s_asyncClassFactories;

} // namespace

namespace QV::UIA::DETAIL {

void initAsyncPlatform()
{
    std::lock_guard lock(platformMutex());
    if (s_platformInitialized || !s_dispatcherClass || !s_notificationClass)
        return;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    // GNUstep must know that more than one thread may post before the first
    // one does: its locks are switched on when it becomes multi-threaded.
    if (![NSThread isMultiThreaded])
        [NSThread detachNewThreadSelector:@selector(class) toTarget:[NSObject class] withObject:nil];
    s_dispatcher = [[(Class)s_dispatcherClass alloc] init];
    s_notificationName = [[NSString alloc]
        initWithFormat:@"%sNotification", class_getName(reinterpret_cast<Class>(s_dispatcherClass))];
    s_platformInitialized = true;
    [[NSNotificationCenter defaultCenter] addObserver:s_dispatcher
                                             selector:@selector(receiveEvent:)
                                                 name:s_notificationName
                                               object:nil];
    [pool release];
}

void deInitAsyncPlatform()
{
    std::lock_guard lock(platformMutex());
    if (!s_platformInitialized)
        return;
    s_platformInitialized = false;
    [[NSNotificationCenter defaultCenter] removeObserver:s_dispatcher];
    [s_dispatcher release];
    s_dispatcher = nil;
    [s_notificationName release];
    s_notificationName = nil;
}

bool postAsyncPlatform(unsigned code, unsigned handle)
{
    // Threads that the platform did not start are made known to it, so that
    // its per-thread state (autorelease pools, run loop) exists.
    GSRegisterCurrentThread();
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    bool posted = false;
    {
        std::lock_guard lock(platformMutex());
        if (s_platformInitialized) {
            id payload = [[(Class)s_notificationClass alloc] initWithCode:code andDest:handle];
            [[NSNotificationCenter defaultCenter] postNotificationName:s_notificationName object:payload];
            [payload release];
            posted = true;
        }
    }
    [pool release];
    return posted;
}

} // namespace QV::UIA::DETAIL
