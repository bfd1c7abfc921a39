#pragma once

#include <QV/GP/DeviceNotification.h>

#include <string>
#include <vector>

namespace QV::GP {

class CriticalSection;

enum eVolumeType
{
    eVolumeTypeOther = 0,   // memory and other file systems without a kind of their own
    eVolumeTypeLocal = 1,   // disks: ext2/3/4, xfs, btrfs, vfat, exfat, ntfs, ntfs3
    eVolumeTypeNetwork = 2, // nfs, nfs4, cifs, smb3
    eVolumeTypeOptical = 3, // iso9660, udf
};

struct VolumeInfo
{
    std::string name;
    eVolumeType type = eVolumeTypeOther;
    // Numbered -1, -2, ... in list order when the list is built.
    int refNum = 0;
    // Where the volume is mounted; volume names need not be unique, mount
    // paths are.
    std::string mountPath;
};

// Told by the volume manager after its list took a change in.
class VolumeManagerListener
{
public:
    enum eVolumeChange
    {
        eVolumeMounted = 0,
        eVolumeUnmounted = 1,
    };

    virtual ~VolumeManagerListener() = default;
    virtual void onVolumeChange(eVolumeChange change, const VolumeInfo& volume) = 0;
};

// Forwards mount notices to the volume manager.
class DeviceNotificationHelper : public DeviceNotificationListener
{
public:
    void onDeviceChangedDetail(eState state, const void* detail) override;
    void onVolumeChanged(eState, const std::string&) override {}
};

// The list of mounted volumes: the user's home folder first, then every
// mounted file system of the mount table except the kernel's pseudo file
// systems (proc, sysfs, devtmpfs, devpts, cgroup, cgroup2, mqueue, debugfs,
// tracefs, securityfs, pstore, bpf, configfs, fusectl, hugetlbfs, autofs,
// binfmt_misc, efivarfs, nsfs, rpc_pipefs, selinuxfs) and files bound over
// files. A path mounted over twice counts once, as the mount on top.
//
// Thread affinity: init and deInit on the main thread; the list may be read
// from any thread.
class VolumeManager
{
public:
    using eVolumeChange = VolumeManagerListener::eVolumeChange;

    VolumeManager() = delete;

    static bool init();
    static void deInit();
    static bool isInitialized() noexcept { return s_bInitialized; }

    // Builds the list anew; whether any volume is known.
    static bool rescan();
    // A copy of the list.
    static std::vector<VolumeInfo> getVolumes();

    // Takes a change in: a mount rescans and tells listeners the new record,
    // an unmount removes the record of that mount path (of that name when no
    // path is given). Nothing before init.
    static void onVolumeChange(eVolumeChange change, const VolumeInfo& volume);

    static void addListener(VolumeManagerListener* listener);
    static void removeListener(VolumeManagerListener* listener);

private:
    static bool s_bInitialized;
    static std::vector<VolumeInfo> s_collVolumeInfos;
    static CriticalSection* s_csVolInfos;
    static DeviceNotificationHelper s_aDeviceNotificationHelper;
};

} // namespace QV::GP
