#include <QV/GP/FileManager.h>
#include <QV/GP/FileName.h>
#include <QV/GP/FileTypeManager.h>

#include "Linux/MountedVolumes.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdlib>
#include <fstream>
#include <string>

using QV::GP::FileManager;
using QV::GP::FileName;
using QV::GP::FileTypeManager;
using QV::GP::DETAIL::MountedVolumes;

namespace {

class FileNameTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { FileTypeManager::init(); }
    static void TearDownTestSuite() { FileTypeManager::deInit(); }

    // A scratch folder of this test's own, as a POSIX path with a trailing
    // '/'; it is left to the test runner's temp folder to remove.
    static std::string scratchFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp != nullptr ? tmp : "/tmp") + "/gp-names-" + std::to_string(::getpid()) + "/";
        ::mkdir(folder.c_str(), 0700);
        return folder;
    }

    static std::string roundTrip(const std::string& posix)
    {
        return FileName(boost::filesystem::path(posix)).getSystemPath(false, false);
    }
};

} // namespace

TEST_F(FileNameTest, SplitsTheColonForm)
{
    const FileName song("Disk:Users:me:song.wav");
    EXPECT_EQ(song.getVolume(), "Disk");
    EXPECT_EQ(song.getPath(), ":Users:me:");
    EXPECT_EQ(song.getName(), "song");
    EXPECT_EQ(song.getExtension(), ".wav");
    EXPECT_EQ(song.getState(), FileName::eStateFile);
    EXPECT_FALSE(song.isRelative());
    EXPECT_EQ(song.getSystemPath(false, false), "") << "no volume named Disk is mounted";

    const FileName folder("Disk:Users:");
    EXPECT_EQ(folder.getVolume(), "Disk");
    EXPECT_EQ(folder.getPath(), ":Users:");
    EXPECT_EQ(folder.getState(), FileName::eStateDirectory);
    ASSERT_NE(folder.getType(), nullptr);
    EXPECT_EQ(folder.getType()->m_name, "Directory");

    const FileName profile("Disk:home:.profile");
    EXPECT_EQ(profile.getName(), ".profile");
    EXPECT_EQ(profile.getExtension(), "");

    const FileName item("Disk:a:pack.ctr<item>");
    EXPECT_EQ(item.getSubpath(), "<item>");
    EXPECT_EQ(item.getFull(), "Disk:a:pack.ctr");
    EXPECT_EQ(item.getExtension(), ".ctr");
    const FileName notAnItem("Disk:a<b:pack.ctr");
    EXPECT_EQ(notAnItem.getSubpath(), "") << "a '<' in a directory starts no subpath";

    const FileName bare("gp-no-such-file.tar.gz");
    EXPECT_EQ(bare.getName(), "gp-no-such-file.tar");
    EXPECT_EQ(bare.getExtension(), ".gz");
    EXPECT_EQ(bare.getPath(), ":");
    EXPECT_TRUE(bare.isRelative());
    EXPECT_EQ(bare.getSystemPath(false, false), "gp-no-such-file.tar.gz");

    const FileName relativeFolder(":gp-no-such:dir:");
    EXPECT_EQ(relativeFolder.getState(), FileName::eStateDirectory);
    EXPECT_EQ(relativeFolder.getVolume(), "");
    EXPECT_EQ(relativeFolder.getSystemPath(false, false), "gp-no-such/dir/");

    FileName empty("");
    EXPECT_EQ(empty.getState(), FileName::eStateEmpty);
    EXPECT_TRUE(empty.init(true));
    EXPECT_FALSE(empty.init(false));
    EXPECT_EQ(empty.getSystemPath(true, true), "");
}

TEST_F(FileNameTest, VolumesOfThisMachine)
{
    const FileName root(FileName::kRootVolumeName);
    EXPECT_EQ(root.getState(), FileName::eStateVolume);
    EXPECT_EQ(root.getType(), FileTypeManager::getStdType(FileTypeManager::eStdTypeVolume));
    EXPECT_EQ(root.getSystemPath(false, false), "/");
    EXPECT_EQ(FileName("rOOt").getState(), FileName::eStateVolume) << "volume names ignore case";

    EXPECT_EQ(FileName::POSIX2HFSPath("/"), std::string(FileName::kRootVolumeName) + ":");
    // /proc is a mount point on every Linux system, so it is a volume.
    EXPECT_EQ(FileName::POSIX2HFSPath("/proc/cpuinfo"), "proc:cpuinfo");
    EXPECT_EQ(FileName::POSIX2HFSPath("/proc"), "proc");
    const FileName cpuinfo("proc:cpuinfo");
    EXPECT_EQ(cpuinfo.getSystemPath(false, false), "/proc/cpuinfo");
    EXPECT_EQ(FileName("proc").getSystemPath(false, false), "/proc/");

    EXPECT_EQ(FileName::POSIX2HFSPath(static_cast<const unsigned char*>(nullptr)), "");
    EXPECT_EQ(FileName::POSIX2HFSPath(""), "");
}

TEST_F(FileNameTest, PosixPathsRoundTrip)
{
    const std::string folder = scratchFolder();
    const std::string cases[] = {
        folder + "missing.txt",
        folder + "a:b/c:d.txt",
        folder + "sub dir/",
        folder + "caf\xC3\xA9/na\xC3\xAFve.png",
        folder + "x/../y",
        "/gp-no-such-top/file",
        "/",
        "relative/path.txt",
        "relative/dir/",
    };
    for (const std::string& posix : cases)
        EXPECT_EQ(roundTrip(posix), posix);

    // A ':' in a POSIX name stands as '/' in the colon form.
    const std::string colon = FileName::POSIX2HFSPath(folder + "a:b/c:d.txt");
    EXPECT_NE(colon.find(":a/b:c/d.txt"), std::string::npos) << colon;

    EXPECT_EQ(FileName::POSIX2HFSPath("relative/path.txt"), ":relative:path.txt");
    EXPECT_EQ(FileName::POSIX2HFSPath("./name"), ":name");
    EXPECT_EQ(FileName::POSIX2HFSPath("/gp-x//y/./z/"), "Root:gp-x:y:z:");
    // A name that POSIX cannot hold does not convert.
    EXPECT_EQ(FileName("Root:gp:..:x").getSystemPath(false, false), "");
}

TEST_F(FileNameTest, ExistingItemsAreDescribedByTheFileSystem)
{
    const std::string folder = scratchFolder();
    std::ofstream(folder + "tune.WAV") << "RIFF";
    ::mkdir((folder + "pack.app").c_str(), 0700);

    const FileName tune{boost::filesystem::path(folder + "tune.WAV")};
    EXPECT_EQ(tune.getState(), FileName::eStateFile);
    EXPECT_EQ(tune.getType(), FileTypeManager::getStdType(FileTypeManager::eStdTypeWAV));
    EXPECT_EQ(tune.getSystemPath(true, true), folder + "tune.WAV");

    // A folder named like a file is a directory once it is found on disk.
    std::string colonFolder = FileName::POSIX2HFSPath(folder + "pack.app");
    const FileName pack(colonFolder);
    EXPECT_EQ(pack.getState(), FileName::eStateDirectory);
    EXPECT_EQ(pack.getPath().back(), ':');
    EXPECT_EQ(pack.getSystemPath(false, false), folder + "pack.app/");

    // A relative name of an existing item becomes absolute.
    const std::string cwd = boost::filesystem::current_path().string();
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    const FileName relative("tune.WAV");
    EXPECT_FALSE(relative.isRelative());
    EXPECT_EQ(relative.getSystemPath(false, false), folder + "tune.WAV");
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

TEST_F(FileNameTest, SetPathKeepsTheName)
{
    FileName name("Disk:a:song.wav");
    name.setPath(":b:c", FileName::ePathWithoutVolume);
    EXPECT_EQ(name.getFull(), "Disk:b:c:song.wav");
    EXPECT_EQ(name.getPath(), ":b:c:");
    EXPECT_EQ(name.getName(), "song");

    name.setPath("Other:d:", FileName::ePathWithVolume);
    EXPECT_EQ(name.getVolume(), "Other");
    EXPECT_EQ(name.getPath(), ":d:");

    FileName item("Disk:a:pack.ctr<item>");
    item.setPath(":b:", FileName::ePathWithoutVolume);
    EXPECT_EQ(item.getFull(), "Disk:b:pack.ctr");
    EXPECT_EQ(item.getSubpath(), "<item>");

    FileName nothing;
    nothing.setPath("Disk:x", FileName::ePathWithVolume);
    EXPECT_EQ(nothing.getState(), FileName::eStateDirectory);
    EXPECT_EQ(nothing.getFull(), "Disk:x:");
}

// --- Names as the file system hands them over -------------------------------

namespace {

// Runs a check with the current directory set to a folder, and back.
template <typename Check>
void inDirectory(const std::string& folder, Check check)
{
    const std::string cwd = boost::filesystem::current_path().string();
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    check();
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

} // namespace

// Linux names are bytes: a name that is not UTF-8 is taken as it is and
// leads back to the same file.
TEST_F(FileNameTest, NamesThatAreNotUtf8LeadToTheSameFile)
{
    const std::string folder = scratchFolder();
    const std::string names[] = {"\xe9t\xe9.txt", "x.\xe9", "caf\xc3.WAV"};
    for (const std::string& leaf : names) {
        std::ofstream(folder + leaf) << "12345";
        const FileName existing{boost::filesystem::path(folder + leaf)};
        EXPECT_EQ(existing.getState(), FileName::eStateFile) << leaf;
        EXPECT_EQ(existing.getSystemPath(true, true), folder + leaf);
        EXPECT_EQ(FileName(existing.getFull()).getSystemPath(false, false), folder + leaf);
        EXPECT_TRUE(FileManager::existsFile(existing)) << leaf;
        EXPECT_EQ(FileManager::getFileSize(existing), 5u) << leaf;
        FileName typed(existing);
        EXPECT_NO_THROW(FileTypeManager::determineType(typed)) << leaf;

        const FileName missing{boost::filesystem::path(folder + "gone-" + leaf)};
        EXPECT_EQ(missing.getSystemPath(false, false), folder + "gone-" + leaf);
    }
    EXPECT_EQ(FileName{boost::filesystem::path(folder + "caf\xc3.WAV")}.getType(),
              FileTypeManager::getStdType(FileTypeManager::eStdTypeWAV));
    EXPECT_EQ(FileTypeManager::getUniqueTypeForExtension("\xe9"),
              FileTypeManager::getStdType(FileTypeManager::eStdTypeUnknown));
    EXPECT_EQ(FileName("R\xe9").getState(), FileName::eStateFile) << "not a volume, and no exception";
    EXPECT_EQ(FileName::POSIX2HFSPath("/proc/\xff"), "proc:\xff");
}

// Relative POSIX names are relative to the current folder, even when they
// are spelt like a volume.
TEST_F(FileNameTest, RelativeNamesStayInTheCurrentFolder)
{
    const std::string folder = scratchFolder() + "cwd/";
    ::mkdir(folder.c_str(), 0700);
    std::ofstream(folder + "proc") << "x";
    std::ofstream(folder + "root") << "x";
    ::mkdir((folder + "sys").c_str(), 0700);
    inDirectory(folder, [&] {
        for (const char* posix : {"proc", "./proc", "root"}) {
            const FileName name{boost::filesystem::path(posix)};
            EXPECT_EQ(name.getState(), FileName::eStateFile) << posix;
            EXPECT_EQ(name.getSystemPath(true, true), folder + boost::filesystem::path(posix).filename().string())
                << posix;
        }
        const FileName sys{boost::filesystem::path("sys")};
        EXPECT_EQ(sys.getState(), FileName::eStateDirectory);
        EXPECT_EQ(sys.getSystemPath(false, false), folder + "sys/");

        // Steps up and into the current folder are folders, never nothing.
        const FileName up{boost::filesystem::path("..")};
        EXPECT_EQ(up.getState(), FileName::eStateDirectory);
        EXPECT_TRUE(boost::filesystem::equivalent(up.getSystemPath(false, false), scratchFolder()));
        EXPECT_EQ(FileName{boost::filesystem::path(".")}.getSystemPath(false, false), folder);
    });
    // Where nothing exists the name stays relative instead of naming a volume.
    const FileName absent{boost::filesystem::path("proc")};
    EXPECT_TRUE(absent.isRelative());
    EXPECT_EQ(absent.getVolume(), "");
    EXPECT_EQ(FileName::POSIX2HFSPath(".."), "::");
    EXPECT_EQ(FileName::POSIX2HFSPath("sys/"), ":sys:");

    // "/." is the root folder, as "/" is.
    EXPECT_EQ(FileName{boost::filesystem::path("/.")}.getState(), FileName{boost::filesystem::path("/")}.getState());
    EXPECT_EQ(FileName::POSIX2HFSPath("/."), FileName::POSIX2HFSPath("/"));
    EXPECT_EQ(FileName::POSIX2HFSPath("/proc/."), "proc:");

    // A subpath alone names nothing.
    const FileName onlyItem("<item>");
    EXPECT_EQ(onlyItem.getState(), FileName::eStateEmpty);
    EXPECT_EQ(onlyItem.getSystemPath(true, true), "");
}

// The volume list is read once and kept; parsing reads it again only after
// it was told that the mounts changed.
TEST_F(FileNameTest, ParsingKeepsTheVolumeList)
{
    const FileName warm{boost::filesystem::path("/proc/cpuinfo")};
    const std::uint64_t reads = MountedVolumes::readCount();
    for (int i = 0; i < 50; ++i) {
        const FileName name{boost::filesystem::path("/proc/self/status")};
        EXPECT_EQ(name.getVolume(), "proc");
        EXPECT_EQ(FileName("Root:gp-no-such:x.txt").getSystemPath(false, false), "/gp-no-such/x.txt");
    }
    // The table may be checked for changes meanwhile, but nothing changed.
    EXPECT_EQ(MountedVolumes::readCount(), reads);

    MountedVolumes::invalidate();
    EXPECT_EQ(MountedVolumes::readCount(), reads) << "reading waits for the next look-up";
    EXPECT_EQ(FileName::POSIX2HFSPath("/proc/cpuinfo"), "proc:cpuinfo");
    EXPECT_EQ(MountedVolumes::readCount(), reads + 1);
    EXPECT_EQ(FileName::POSIX2HFSPath("/proc/cpuinfo"), "proc:cpuinfo");
    EXPECT_EQ(MountedVolumes::readCount(), reads + 1);
}

// Without a watcher to tell it, the list still follows the mounts within a
// fraction of a second. A forked child mounts a file system in a mount
// namespace of its own (skipped where the system allows none).
TEST_F(FileNameTest, AMountMadeLaterIsSeenWithoutBeingTold)
{
    const std::string folder = scratchFolder() + "gpvol";
    ::mkdir(folder.c_str(), 0700);
    ASSERT_EQ(FileName::POSIX2HFSPath("/proc/cpuinfo"), "proc:cpuinfo"); // the list is kept from here on

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            ::_exit(77);
        // Nothing mounted here may reach the test runner's namespace.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(77);
        if (FileName::POSIX2HFSPath(folder + "/x") == "gpvol:x")
            ::_exit(2); // a volume before anything was mounted
        if (::mount("gp-test", folder.c_str(), "tmpfs", 0, nullptr) != 0)
            ::_exit(77);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (FileName::POSIX2HFSPath(folder + "/x") != "gpvol:x") {
            if (std::chrono::steady_clock::now() > deadline)
                ::_exit(3);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no mount namespace can be made here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: a volume too early, 3: the mount was never seen";
}
