// Descriptors watched by the main run loop. GNUstep's run loop watches a
// descriptor as an ET_RDESC or ET_WDESC event and calls its watcher's
// receivedEvent:type:extra:forMode:. The watcher is a run-time class like
// every other class the platform calls back.
#include <QV/GP/OBJC/ClassFactory.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"
#include "ObjCMethod.h"

#include <cstdint>

using QV::UIA::COCOA::asIMP;

namespace QV::UIA::DETAIL {

namespace {

objc_class* s_watcherClass = nullptr;

class RunLoopDescriptorWatch;
void watcherReceivedEvent(id self, SEL, void*, RunLoopEventType type, void*, NSString*);

objc_class* watcherClass()
{
    // The factory lives as long as the class: it clears the class variable
    // when it goes.
    static GP::OBJC::ClassFactory factory(s_watcherClass);
    static const bool built = [] {
        if (factory.generateUniqueClass("ComVelmoraDescriptorWatcher", "NSObject")) {
            factory.addMemberVar("theWatch", sizeof(void*), 3, "^v");
            factory.addMethod(@selector(receivedEvent:type:extra:forMode:), asIMP(watcherReceivedEvent),
                              "v@:^vi^v@");
            factory.doRegister();
        }
        return s_watcherClass != nullptr;
    }();
    return built ? s_watcherClass : nullptr;
}

void** watchField(id watcher)
{
    Ivar ivar = class_getInstanceVariable(object_getClass(watcher), "theWatch");
    return reinterpret_cast<void**>(reinterpret_cast<char*>(watcher) + ivar_getOffset(ivar));
}

void* descriptorAsData(int descriptor)
{
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(descriptor));
}

class RunLoopDescriptorWatch final : public PlatformDescriptorWatch
{
public:
    RunLoopDescriptorWatch(int descriptor, std::function<void()> ready, bool inEveryMode)
        : m_descriptor(descriptor), m_ready(std::move(ready)), m_modeCount(inEveryMode ? 3 : 1)
    {
        m_watcher = [[(Class)watcherClass() alloc] init];
        *watchField(m_watcher) = this;
        NSRunLoop* loop = [NSRunLoop currentRunLoop];
        for (int i = 0; i < m_modeCount; ++i)
            [loop addEvent:descriptorAsData(m_descriptor) type:ET_RDESC watcher:m_watcher forMode:modes()[i]];
    }

    ~RunLoopDescriptorWatch() override
    {
        setWriteInterest(false);
        NSRunLoop* loop = [NSRunLoop currentRunLoop];
        for (int i = 0; i < m_modeCount; ++i)
            [loop removeEvent:descriptorAsData(m_descriptor) type:ET_RDESC forMode:modes()[i] all:YES];
        // The run loop may still hold the watcher; it must no longer find
        // this object through it.
        *watchField(m_watcher) = nullptr;
        [m_watcher release];
    }

    void setWriteInterest(bool interested) override
    {
        if (interested == m_writeInterest)
            return;
        m_writeInterest = interested;
        NSRunLoop* loop = [NSRunLoop currentRunLoop];
        if (interested)
            [loop addEvent:descriptorAsData(m_descriptor) type:ET_WDESC watcher:m_watcher forMode:NSDefaultRunLoopMode];
        else
            [loop removeEvent:descriptorAsData(m_descriptor) type:ET_WDESC forMode:NSDefaultRunLoopMode all:YES];
    }

    void ready() { m_ready(); }

private:
    // The default mode first; then a dialog's, and a menu's or a button's
    // while the mouse is tracked.
    static NSString* const* modes()
    {
        static NSString* const all[] = {NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode};
        return all;
    }

    int m_descriptor;
    std::function<void()> m_ready;
    int m_modeCount;
    id m_watcher = nil;
    bool m_writeInterest = false;
};

void watcherReceivedEvent(id self, SEL, void*, RunLoopEventType type, void*, NSString*)
{
    if (type != ET_RDESC && type != ET_WDESC)
        return;
    if (auto* watch = static_cast<RunLoopDescriptorWatch*>(*watchField(self)))
        watch->ready();
}

} // namespace

std::unique_ptr<PlatformDescriptorWatch> watchPlatformDescriptor(int descriptor, std::function<void()> ready,
                                                                 bool inEveryMode)
{
    if (descriptor < 0 || !watcherClass())
        return nullptr;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    auto watch = std::make_unique<RunLoopDescriptorWatch>(descriptor, std::move(ready), inEveryMode);
    [pool release];
    return watch;
}

} // namespace QV::UIA::DETAIL
