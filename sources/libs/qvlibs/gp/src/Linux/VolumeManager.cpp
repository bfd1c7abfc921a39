#include <QV/GP/VolumeManager.h>

#include <QV/GP/CriticalSection.h>

#include "Common/ListenerList.h"
#include "Linux/MountTable.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <cstdlib>

namespace QV::GP {

bool VolumeManager::s_bInitialized = false;
std::vector<VolumeInfo> VolumeManager::s_collVolumeInfos;
CriticalSection* VolumeManager::s_csVolInfos = nullptr;
DeviceNotificationHelper VolumeManager::s_aDeviceNotificationHelper;

namespace {

DETAIL::ListenerList<VolumeManagerListener> s_listeners;

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

// The home folder's entry: named by its last component, of the kind of the
// volume that holds it (the one with the longest mount path above it).
VolumeInfo homeEntry(const std::vector<VolumeInfo>& volumes)
{
    VolumeInfo home;
    home.mountPath = homeFolder();
    while (home.mountPath.size() > 1 && home.mountPath.back() == '/')
        home.mountPath.pop_back();
    if (home.mountPath.empty())
        return home;
    home.name = DETAIL::volumeNameOf(home.mountPath);
    std::size_t longest = 0;
    for (const VolumeInfo& volume : volumes)
    {
        const std::string& path = volume.mountPath;
        const bool above = path == "/" || home.mountPath == path || home.mountPath.rfind(path + "/", 0) == 0;
        if (above && path.size() >= longest)
        {
            longest = path.size();
            home.type = volume.type;
        }
    }
    return home;
}

} // namespace

void DeviceNotificationHelper::onDeviceChangedDetail(eState state, const void* detail)
{
    if (detail == nullptr)
        return;
    const auto* change = static_cast<const VolumeChangeDetail*>(detail);
    VolumeInfo volume;
    volume.name = change->name;
    volume.mountPath = change->mountPath;
    VolumeManager::onVolumeChange(state == eMounted ? VolumeManagerListener::eVolumeMounted
                                                    : VolumeManagerListener::eVolumeUnmounted,
                                  volume);
}

bool VolumeManager::init()
{
    if (s_bInitialized)
        return true;
    s_csVolInfos = CriticalSection::allocate();
    if (s_csVolInfos == nullptr || !s_listeners.start())
    {
        CriticalSection::release(s_csVolInfos);
        s_csVolInfos = nullptr;
        return false;
    }
    s_bInitialized = true;
    rescan();
    DeviceNotification::addListener(&s_aDeviceNotificationHelper);
    return true;
}

void VolumeManager::deInit()
{
    if (!s_bInitialized)
        return;
    DeviceNotification::removeListener(&s_aDeviceNotificationHelper);
    s_bInitialized = false;
    CriticalSection::release(s_csVolInfos);
    s_csVolInfos = nullptr;
    s_listeners.stop();
    s_collVolumeInfos.clear();
}

bool VolumeManager::rescan()
{
    if (!s_bInitialized)
        return false;
    std::vector<VolumeInfo> volumes = DETAIL::volumesOf(DETAIL::readMountTable(), DETAIL::isDirectoryPath);
    VolumeInfo home = homeEntry(volumes);
    if (!home.mountPath.empty())
        volumes.insert(volumes.begin(), home);
    int refNum = -1;
    for (VolumeInfo& volume : volumes)
        volume.refNum = refNum--;
    CriticalSection::Guard guard(*s_csVolInfos);
    s_collVolumeInfos = std::move(volumes);
    return !s_collVolumeInfos.empty();
}

std::vector<VolumeInfo> VolumeManager::getVolumes()
{
    if (!s_bInitialized)
        return {};
    CriticalSection::Guard guard(*s_csVolInfos);
    return s_collVolumeInfos;
}

void VolumeManager::onVolumeChange(eVolumeChange change, const VolumeInfo& volume)
{
    if (!s_bInitialized)
        return;
    // Names repeat (two disks may both be called "data"): a record is found
    // by its mount path, and by name only when no path came with the change.
    const auto matches = [&](const VolumeInfo& known) {
        return volume.mountPath.empty() ? known.name == volume.name : known.mountPath == volume.mountPath;
    };
    VolumeInfo record = volume;
    if (change == VolumeManagerListener::eVolumeMounted)
    {
        rescan();
        CriticalSection::Guard guard(*s_csVolInfos);
        // The home entry comes first and may share its path with a mount:
        // the mounted record is the last that matches.
        const auto found = std::find_if(s_collVolumeInfos.rbegin(), s_collVolumeInfos.rend(), matches);
        if (found != s_collVolumeInfos.rend())
            record = *found;
    }
    else
    {
        CriticalSection::Guard guard(*s_csVolInfos);
        const auto found = std::find_if(s_collVolumeInfos.rbegin(), s_collVolumeInfos.rend(), matches);
        if (found != s_collVolumeInfos.rend())
        {
            record = *found;
            s_collVolumeInfos.erase(std::next(found).base());
        }
    }
    s_listeners.notify([&](VolumeManagerListener* listener) { listener->onVolumeChange(change, record); });
}

void VolumeManager::addListener(VolumeManagerListener* listener)
{
    if (s_bInitialized)
        s_listeners.add(listener);
}

void VolumeManager::removeListener(VolumeManagerListener* listener)
{
    if (s_bInitialized)
        s_listeners.remove(listener);
}

} // namespace QV::GP
