#include <QV/GP/FileName.h>
#include <QV/GP/FileTypeManager.h>

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

using QV::GP::FileName;
using QV::GP::FileTypeManager;

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
    EXPECT_EQ(FileName::POSIX2HFSPath("./name"), "name");
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
