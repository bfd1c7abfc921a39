// Mounted volumes: the mount table read from mountinfo text, the volume list,
// listeners of mount notices, and (in a private mount namespace) the notices
// for a tmpfs mounted and unmounted while the run loop runs.
#include <QV/GP/DeviceNotification.h>
#include <QV/GP/Lib.h>
#include <QV/GP/VolumeManager.h>

#include "Cocoa/GNUstepHeaders.h"
#include "Linux/MountTable.h"

#include <ChildProcess.h>
#include <TemporaryFolder.h>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace {

using namespace QV::GP;
using QV::GP::DETAIL::MountEntry;

constexpr FileTypeMacMagic kSignature = makeFileTypeMacMagic("QKBD");

std::vector<VolumeInfo> volumesFromText(const std::string& text)
{
    std::istringstream in(text);
    return DETAIL::volumesOf(DETAIL::parseMountInfo(in),
                             [](const std::string& path) { return path != "/etc/hosts"; });
}

TEST(MountTable, MountinfoLinesBecomeVolumesNamedByTheirLastComponent)
{
    const std::vector<VolumeInfo> volumes = volumesFromText(
        "21 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "22 21 0:5 / /proc rw,nosuid shared:2 - proc proc rw\n"
        "23 21 0:20 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
        "24 21 8:17 / /media/me/My\\040Disk rw shared:3 master:1 - vfat /dev/sdb1 rw\n"
        "25 21 8:1 /home/me/share /srv/bind rw - ext4 /dev/sda1 rw\n"
        "26 21 0:40 / /media/a/data rw - nfs4 server:/a rw\n"
        "27 21 0:41 / /media/b/data rw - cifs //server/b rw\n"
        "28 21 11:0 / /media/cdrom rw - iso9660 /dev/sr0 ro\n"
        "29 21 0:42 / /run/user/1000 rw - tmpfs tmpfs rw\n"
        "30 21 8:1 /etc/hosts /etc/hosts rw - ext4 /dev/sda1 rw\n"
        "31 21 0:43 / /mnt/odd:name rw - udf /dev/sr1 ro\n"
        "32 29 0:44 / /run/user/1000 rw - btrfs /dev/sdc1 rw\n"
        "garbage line without fields\n"
        "33 21 0:45 / relative rw - ext4 /dev/x rw\n");
    std::vector<std::string> described;
    for (const VolumeInfo& volume : volumes)
        described.push_back(volume.name + "|" + volume.mountPath + "|" + std::to_string(volume.type));
    EXPECT_EQ(described, (std::vector<std::string>{
                             "Root|/|1",
                             "My Disk|/media/me/My Disk|1",
                             "bind|/srv/bind|1",
                             "data|/media/a/data|2",
                             "data|/media/b/data|2",
                             "cdrom|/media/cdrom|3",
                             "1000|/run/user/1000|1",
                             "odd/name|/mnt/odd:name|3",
                         }))
        << "pseudo file systems, files bound over files and relative paths are left out; a path mounted over "
           "again is the mount on top";
}

class RecordingListener : public DeviceNotificationListener
{
public:
    void onDeviceChangedDetail(eState, const void* detail) override
    {
        paths.push_back(static_cast<const VolumeChangeDetail*>(detail)->mountPath);
    }
    void onVolumeChanged(eState state, const std::string& name) override
    {
        seen.push_back((state == eMounted ? "+" : "-") + name);
        if (removeSelf)
            DeviceNotification::removeListener(this);
        if (removeOther != nullptr)
            DeviceNotification::removeListener(removeOther);
    }
    std::vector<std::string> seen;
    std::vector<std::string> paths;
    bool removeSelf = false;
    DeviceNotificationListener* removeOther = nullptr;
};

class VolumeNotices : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Lib::init(kSignature, "Volumes", Lib::kVersion, Lib::kFlavour)); }
    void TearDown() override { Lib::deInit(); }
};

TEST_F(VolumeNotices, ListenersThatRemoveThemselvesOrOthersDuringANoticeSkipNobody)
{
    RecordingListener first, second, third, fourth;
    first.removeSelf = true;
    second.removeOther = &third;
    for (RecordingListener* listener : {&first, &second, &third, &fourth})
        DeviceNotification::addListener(listener);
    DeviceNotification::onVolumeChanged(DeviceNotificationListener::eMounted, "Data", "/media/Data");
    EXPECT_EQ(first.seen, std::vector<std::string>{"+Data"});
    EXPECT_EQ(first.paths, std::vector<std::string>{"/media/Data"});
    EXPECT_EQ(second.seen, std::vector<std::string>{"+Data"});
    EXPECT_TRUE(third.seen.empty()) << "removed by the listener before it";
    EXPECT_EQ(fourth.seen, std::vector<std::string>{"+Data"}) << "not skipped when one before it went";

    DeviceNotification::onVolumeChanged(DeviceNotificationListener::eUnmounted, "Data", "/media/Data");
    EXPECT_EQ(first.seen.size(), 1u);
    EXPECT_EQ(second.seen, (std::vector<std::string>{"+Data", "-Data"}));
    EXPECT_EQ(fourth.seen, (std::vector<std::string>{"+Data", "-Data"}));
    DeviceNotification::removeListener(&second);
    DeviceNotification::removeListener(&fourth);

    Lib::deInit();
    RecordingListener early;
    DeviceNotification::addListener(&early);
    ASSERT_TRUE(Lib::init(kSignature, "Volumes", Lib::kVersion, Lib::kFlavour));
    DeviceNotification::onVolumeChanged(DeviceNotificationListener::eMounted, "Data", "/media/Data");
    EXPECT_TRUE(early.seen.empty()) << "a listener added before start-up is not kept";
}

TEST_F(VolumeNotices, TheListStartsWithHomeAndHoldsTheRootVolume)
{
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr) << "the tests run with a home folder of their own";
    const std::vector<VolumeInfo> volumes = VolumeManager::getVolumes();
    ASSERT_GE(volumes.size(), 2u);
    EXPECT_EQ(volumes[0].mountPath, home);
    EXPECT_EQ(volumes[0].refNum, -1);
    const bool hasRoot = std::any_of(volumes.begin(), volumes.end(), [](const VolumeInfo& volume) {
        return volume.name == "Root" && volume.mountPath == "/";
    });
    EXPECT_TRUE(hasRoot);

    Lib::deInit();
    Lib::setInitializeDeviceNotifications(false);
    ASSERT_TRUE(Lib::init(kSignature, "Volumes", Lib::kVersion, Lib::kFlavour));
    Lib::setInitializeDeviceNotifications(true);
    EXPECT_FALSE(DeviceNotification::isInitialized());
    EXPECT_FALSE(VolumeManager::getVolumes().empty()) << "the list is built without notices";
}

// Runs inside a private mount namespace: mounts two tmpfs volumes of the same
// name, unmounts one, and sees each notice arrive through the run loop.
class VolumeChanges : public VolumeManagerListener
{
public:
    void onVolumeChange(eVolumeChange change, const VolumeInfo& volume) override
    {
        seen.push_back((change == eVolumeMounted ? "+" : "-") + volume.name + " " + volume.mountPath);
    }
    std::vector<std::string> seen;
};

bool runLoopUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
    {
        NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
        [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.05]];
        [pool release];
    }
    return done();
}

TEST(VolumeLive, MountAndUnmountReachListenersWithTheVolumeName)
{
    if (std::getenv("QV_IN_MOUNT_NAMESPACE") == nullptr)
    {
        QV::TestSupport::TemporaryFolder logs("gp-volume-live");
        const auto probe = QV::TestSupport::runCommand({"unshare", "-rm", "true"}, logs.path() / "probe.log",
                                                       std::chrono::seconds(10));
        if (probe.exitCode != 0)
            GTEST_SKIP() << "unprivileged mount namespaces are not allowed here (unshare -rm: " << probe.output << ")";
        const auto run = QV::TestSupport::runCommand(
            {"unshare", "-rm", "env", "QV_IN_MOUNT_NAMESPACE=1", std::filesystem::read_symlink("/proc/self/exe").string(),
             "--gtest_filter=VolumeLive.*"},
            logs.path() / "run.log", std::chrono::seconds(60));
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return;
    }

    QV::TestSupport::TemporaryFolder folder("gp-volume-mounts");
    const std::string first = (folder.path() / "a" / "Scratch").string();
    const std::string second = (folder.path() / "b" / "Scratch").string();
    std::filesystem::create_directories(first);
    std::filesystem::create_directories(second);
    ASSERT_TRUE(Lib::init(kSignature, "Volumes", Lib::kVersion, Lib::kFlavour));
    RecordingListener listener;
    VolumeChanges changes;
    DeviceNotification::addListener(&listener);
    VolumeManager::addListener(&changes);

    ASSERT_EQ(::mount("none", first.c_str(), "tmpfs", 0, nullptr), 0);
    ASSERT_EQ(::mount("none", second.c_str(), "tmpfs", 0, nullptr), 0);
    EXPECT_TRUE(runLoopUntil([&] { return listener.seen.size() >= 2; }));
    EXPECT_EQ(listener.seen, (std::vector<std::string>{"+Scratch", "+Scratch"}));
    EXPECT_EQ(listener.paths, (std::vector<std::string>{first, second}));

    ASSERT_EQ(::umount(first.c_str()), 0);
    EXPECT_TRUE(runLoopUntil([&] { return listener.seen.size() >= 3; }));
    EXPECT_EQ(listener.seen.back(), "-Scratch");
    EXPECT_EQ(listener.paths.back(), first);
    EXPECT_EQ(changes.seen,
              (std::vector<std::string>{"+Scratch " + first, "+Scratch " + second, "-Scratch " + first}));
    const std::vector<VolumeInfo> volumes = VolumeManager::getVolumes();
    const auto count = [&](const std::string& path) {
        return std::count_if(volumes.begin(), volumes.end(), [&](const VolumeInfo& v) { return v.mountPath == path; });
    };
    EXPECT_EQ(count(first), 0) << "the unmounted one goes";
    EXPECT_EQ(count(second), 1) << "the other volume of the same name stays";

    DeviceNotification::removeListener(&listener);
    VolumeManager::removeListener(&changes);
    Lib::deInit();
    ::umount(second.c_str());
}

} // namespace
