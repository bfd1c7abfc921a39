#pragma once

#include <string>

namespace QV::GP {

// Told of disk volumes being mounted and unmounted (not of USB devices).
class DeviceNotificationListener
{
public:
    enum eState
    {
        eMounted = 0,
        eUnmounted = 1,
    };

    virtual ~DeviceNotificationListener() = default;

    virtual void onDeviceChanged(eState) {}
    // For a volume change the detail is a const VolumeChangeDetail*, given
    // before onVolumeChanged; it names the mount path, which tells apart
    // volumes of the same name.
    virtual void onDeviceChangedDetail(eState, const void*) {}
    virtual void onVolumeChanged(eState state, const std::string& volumeName) = 0;
};

// The detail of one volume change.
struct VolumeChangeDetail
{
    std::string name;
    std::string mountPath;
};

// Passes mount and unmount notices of the platform to listeners.
//
// On this platform the notices come from /proc/self/mountinfo, which the
// kernel marks with POLLPRI at every mount and unmount: the main run loop
// watches it, reads the mount table anew and compares it with the one before.
// Volumes are named by the last component of their mount point ("/" is the
// root volume), as file names name them.
//
// Thread affinity: init, deInit and the notices run on the main thread;
// listeners may be added and removed from any thread, and from inside a
// notice.
class DeviceNotification
{
public:
    DeviceNotification() = delete;

    // True when started (or already running); false when the lock or the
    // platform's watcher could not be had.
    static bool init();
    static void deInit();
    static bool isInitialized() noexcept { return m_bInit; }

    // Both do nothing before init. A listener is not owned and must be
    // removed before it goes.
    static void addListener(DeviceNotificationListener* listener);
    static void removeListener(DeviceNotificationListener* listener);

    // Tells every listener, in the order they were added. A listener removed
    // during a notice (by itself or another) is not called afterwards, and
    // the others are all called.
    static void onVolumeChanged(DeviceNotificationListener::eState state, const std::string& volumeName,
                                const std::string& mountPath = std::string());

private:
    static bool initOS();
    static void deInitOS();

    static bool m_bInit;
};

} // namespace QV::GP
