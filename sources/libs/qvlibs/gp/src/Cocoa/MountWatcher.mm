// Mount and unmount notices on this platform: the kernel marks
// /proc/self/mountinfo with POLLPRI whenever a mount or unmount changes this
// process's mount table, and GNUstep's run loop watches a descriptor for
// that condition as an ET_EDESC event. The watcher is a run-time class like
// every other class the platform calls back.
#include <QV/GP/DeviceNotification.h>
#include <QV/GP/OBJC/ClassFactory.h>

#include "Cocoa/GNUstepHeaders.h"
#include "Linux/MountTable.h"
#include "Linux/MountedVolumes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace QV::GP {

namespace {

objc_class* s_watcherClass = nullptr;
id s_pNSListener = nil;
int s_mountInfo = -1;
std::vector<VolumeInfo> s_mounted;

std::vector<VolumeInfo> mountedNow()
{
    return DETAIL::volumesOf(DETAIL::readMountTable(), DETAIL::isDirectoryPath);
}

// File names keep their own list of volumes: it must be read again, so that
// names convert against the new table.
void noteMountTableChanged()
{
    DETAIL::MountedVolumes::invalidate();
}

// Compares the mount table with the one seen before and passes each volume
// that went as an unmount, then each that came as a mount.
void onMountTableEvent()
{
    noteMountTableChanged();
    const std::vector<VolumeInfo> now = mountedNow();
    const std::vector<VolumeInfo> before = s_mounted;
    s_mounted = now;
    const auto holds = [](const std::vector<VolumeInfo>& list, const VolumeInfo& volume) {
        return std::any_of(list.begin(), list.end(),
                           [&](const VolumeInfo& other) { return other.mountPath == volume.mountPath; });
    };
    for (const VolumeInfo& volume : before)
        if (!holds(now, volume))
            DeviceNotification::onVolumeChanged(DeviceNotificationListener::eUnmounted, volume.name, volume.mountPath);
    for (const VolumeInfo& volume : now)
        if (!holds(before, volume))
            DeviceNotification::onVolumeChanged(DeviceNotificationListener::eMounted, volume.name, volume.mountPath);
}

void watcherReceivedEvent(id, SEL, void*, RunLoopEventType type, void*, NSString*)
{
    if (type == ET_EDESC)
        onMountTableEvent();
}

template <typename Function>
IMP asIMP(Function function)
{
    return reinterpret_cast<IMP>(reinterpret_cast<void (*)()>(function));
}

// Built once, when notices first start: at static initialisation the
// runtime may not have loaded NSObject yet, as the order of the initialisers
// of a static library is not fixed.
objc_class* watcherClass()
{
    // The factory lives as long as the class: it clears the class variable
    // when it goes.
    static OBJC::ClassFactory factory(s_watcherClass);
    static const bool built = [] {
        if (factory.generateUniqueClass("ComVelmoraCocoaDeviceNotificationListener", "NSObject"))
        {
            factory.addMethod(@selector(receivedEvent:type:extra:forMode:), asIMP(watcherReceivedEvent),
                              "v@:^vi^v@");
            factory.doRegister();
        }
        return s_watcherClass != nullptr;
    }();
    return built ? s_watcherClass : nullptr;
}

// The notices come in whichever of these modes the main run loop runs.
template <typename Action>
void forEachWatchedMode(Action action)
{
    NSString* const modes[] = {NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode};
    for (NSString* mode : modes)
        action(mode);
}

void* descriptorAsData(int fd)
{
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd));
}

} // namespace

bool DeviceNotification::initOS()
{
    if (watcherClass() == nullptr)
        return false;
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    s_pNSListener = [[(Class)watcherClass() alloc] init];
    s_mounted = mountedNow();
    // Without a mount table there is nothing to watch; the library runs on
    // without notices, as it would where mounts never change.
    s_mountInfo = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (s_mountInfo >= 0)
    {
        NSRunLoop* loop = [NSRunLoop currentRunLoop];
        forEachWatchedMode([&](NSString* mode) {
            [loop addEvent:descriptorAsData(s_mountInfo) type:ET_EDESC watcher:s_pNSListener forMode:mode];
        });
    }
    [pool release];
    return true;
}

void DeviceNotification::deInitOS()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    if (s_mountInfo >= 0)
    {
        NSRunLoop* loop = [NSRunLoop currentRunLoop];
        forEachWatchedMode([&](NSString* mode) {
            [loop removeEvent:descriptorAsData(s_mountInfo) type:ET_EDESC forMode:mode all:YES];
        });
        ::close(s_mountInfo);
        s_mountInfo = -1;
    }
    [s_pNSListener release];
    s_pNSListener = nil;
    s_mounted.clear();
    [pool release];
}

} // namespace QV::GP
