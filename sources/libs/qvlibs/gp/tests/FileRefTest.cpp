#include <QV/GP/FileName.h>
#include <QV/GP/FileTypeManager.h>

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>

using QV::GP::FileName;
using QV::GP::FileTypeManager;
using QV::GP::FSCatalogInfo;
using QV::GP::FSRef;

namespace {

std::string endOf(const std::string& path, std::size_t count)
{
    return path.size() < count ? path : path.substr(path.size() - count);
}

class FileRefTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { FileTypeManager::init(); }
    static void TearDownTestSuite() { FileTypeManager::deInit(); }

    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = std::string(tmp != nullptr ? tmp : "/tmp") + "/gp-refs-" + std::to_string(::getpid());
        ::mkdir(base.c_str(), 0700);
        // Links are compared resolved, so the folder is named as resolved.
        m_folder = boost::filesystem::canonical(base).string() + "/";
    }

    void TearDown() override
    {
        for (const auto& [variable, value] : m_savedEnvironment)
        {
            if (value)
                ::setenv(variable.c_str(), value->c_str(), 1);
            else
                ::unsetenv(variable.c_str());
        }
    }

    // Sets a variable for this test only.
    void setEnvironment(const std::string& variable, const char* value)
    {
        if (m_savedEnvironment.count(variable) == 0)
        {
            const char* old = std::getenv(variable.c_str());
            m_savedEnvironment[variable] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value != nullptr)
            ::setenv(variable.c_str(), value, 1);
        else
            ::unsetenv(variable.c_str());
    }

    std::string m_folder;

private:
    std::map<std::string, std::optional<std::string>> m_savedEnvironment;
};

} // namespace

TEST_F(FileRefTest, ReferencesFollowLinksOnlyWhenAsked)
{
    std::ofstream(m_folder + "data.xml") << "<a/>";
    ::unlink((m_folder + "link.xml").c_str());
    ASSERT_EQ(::symlink("data.xml", (m_folder + "link.xml").c_str()), 0);

    const FileName link{boost::filesystem::path(m_folder + "link.xml")};
    FSRef ref;
    unsigned char isDirectory = 9;
    ASSERT_TRUE(link.getFSRef(ref, false, &isDirectory));
    EXPECT_EQ(ref.path, m_folder + "link.xml");
    EXPECT_EQ(isDirectory, 0);
    ASSERT_TRUE(link.getFSRef(ref, true, nullptr));
    EXPECT_EQ(ref.path, m_folder + "data.xml");

    // The name made from a reference is the one parsing gives the same item.
    FileName described;
    FSCatalogInfo info;
    ASSERT_TRUE(described.initFromFSRef(FSRef{m_folder + "link.xml"}, &info, true));
    EXPECT_EQ(described.getFull(), FileName(boost::filesystem::path(m_folder + "data.xml")).getFull());
    EXPECT_EQ(described.getName(), "data");
    EXPECT_EQ(described.getExtension(), ".xml");
    EXPECT_EQ(described.getState(), FileName::eStateFile);
    EXPECT_EQ(described.getType(), FileTypeManager::getStdType(FileTypeManager::eStdTypeXML));
    EXPECT_FALSE(info.isDirectory);
    EXPECT_EQ(info.dataSize, 4u);

    // A dangling link is an item of its own, but leads nowhere.
    ::unlink((m_folder + "gone.xml").c_str());
    ASSERT_EQ(::symlink("missing.xml", (m_folder + "gone.xml").c_str()), 0);
    const FileName dangling{boost::filesystem::path(m_folder + "gone.xml")};
    EXPECT_TRUE(dangling.getFSRef(ref, false, nullptr));
    EXPECT_FALSE(dangling.getFSRef(ref, true, nullptr));
}

TEST_F(FileRefTest, FoldersAndMissingItems)
{
    ::mkdir((m_folder + "sub").c_str(), 0700);
    const FileName folder{boost::filesystem::path(m_folder + "sub/")};
    FSRef ref;
    unsigned char isDirectory = 0;
    ASSERT_TRUE(folder.getFSRef(ref, false, &isDirectory));
    EXPECT_EQ(ref.path, m_folder + "sub");
    EXPECT_EQ(isDirectory, 1);
    EXPECT_EQ(FileName::getFullFromFSRef(ref), folder.getFull());
    EXPECT_EQ(FileName::getFullFromFSRef(ref).back(), ':');

    FileName described("Disk:kept.txt");
    FSCatalogInfo info;
    ASSERT_TRUE(described.initFromFSRef(ref, &info, false));
    EXPECT_EQ(described.getState(), FileName::eStateDirectory);
    EXPECT_TRUE(info.isDirectory);
    EXPECT_EQ(info.dataSize, 0u);

    // Nothing there: no reference, no colon form, and the name stays as it was.
    const FileName missing{boost::filesystem::path(m_folder + "none.txt")};
    EXPECT_FALSE(missing.getFSRef(ref, false, nullptr));
    EXPECT_EQ(FileName::getFullFromFSRef(FSRef{m_folder + "none.txt"}), "");
    EXPECT_EQ(FileName::getFullFromFSRef(FSRef{}), "");
    EXPECT_FALSE(described.initFromFSRef(FSRef{m_folder + "none.txt"}, nullptr, false));
    EXPECT_EQ(described.getFull(), folder.getFull());

    // Items inside containers cannot be reached yet.
    std::ofstream(m_folder + "pack.ctr") << "x";
    const FileName item(FileName::POSIX2HFSPath(m_folder + "pack.ctr") + "<item>");
    EXPECT_EQ(item.getSubpath(), "<item>");
    EXPECT_FALSE(item.getFSRef(ref, true, nullptr));
}

TEST_F(FileRefTest, ContainerNameIsCopiedDeepAndDroppedByParsing)
{
    FileName item("Disk:a:pack.ctr<item>");
    EXPECT_EQ(item.getContainerName(), nullptr);
    item.setContainerName(FileName("Disk:a:pack.ctr"));

    FileName copy(item);
    item.setContainerName(FileName("Disk:b:other.ctr"));
    ASSERT_NE(copy.getContainerName(), nullptr);
    EXPECT_EQ(copy.getContainerName()->getFull(), "Disk:a:pack.ctr");

    FileName assigned;
    assigned = copy;
    copy.clear();
    EXPECT_EQ(copy.getContainerName(), nullptr);
    ASSERT_NE(assigned.getContainerName(), nullptr);
    EXPECT_EQ(assigned.getContainerName()->getName(), "pack");

    assigned.setFull("Disk:c:pack.ctr<item>");
    EXPECT_EQ(assigned.getContainerName(), nullptr);
}

TEST_F(FileRefTest, SystemFoldersFollowTheEnvironment)
{
    const std::string home = m_folder + "home";
    ::mkdir(home.c_str(), 0700);
    setEnvironment("HOME", home.c_str());
    setEnvironment("XDG_DATA_HOME", "relative/ignored");
    setEnvironment("TMPDIR", m_folder.c_str());

    const auto folderOf = [](short domain, unsigned int type, bool create) {
        FileName folder;
        return FileName::getSystemFolder(domain, type, folder, create) ? folder.getSystemPath(false, false)
                                                                       : std::string("(none)");
    };

    EXPECT_EQ(folderOf(QV::GP::kUserDomain, QV::GP::kCurrentUserFolderType, false), home + "/");
    EXPECT_EQ(folderOf(QV::GP::kLocalDomain, QV::GP::kTemporaryFolderType, false), m_folder);

    // Missing folders are made only when asked, parents included.
    EXPECT_EQ(folderOf(QV::GP::kUserDomain, QV::GP::kMusicDocumentsFolderType, false), "(none)");
    EXPECT_EQ(folderOf(QV::GP::kUserDomain, QV::GP::kMusicDocumentsFolderType, true), home + "/Music/");
    EXPECT_EQ(folderOf(QV::GP::kOnAppropriateDisk, QV::GP::kMusicDocumentsFolderType, false), home + "/Music/");
    EXPECT_EQ(folderOf(QV::GP::kUserDomain, QV::GP::kApplicationSupportFolderType, true), home + "/.local/share/");
    setEnvironment("XDG_DATA_HOME", (m_folder + "data").c_str());
    EXPECT_EQ(folderOf(QV::GP::kUserDomain, QV::GP::kApplicationsFolderType, true), m_folder + "data/applications/");

    // Kinds without a place here, in a domain or at all.
    EXPECT_EQ(folderOf(QV::GP::kLocalDomain, QV::GP::kDocumentsFolderType, true), "(none)");
    EXPECT_EQ(folderOf(QV::GP::kUserDomain, QV::GP::kSharedUserDataFolderType, true), "(none)");
    EXPECT_EQ(folderOf(QV::GP::kUserDomain, QV::GP::makeFolderType('x', 'y', 'z', 'w'), true), "(none)");

    FileName kept("Disk:kept:");
    EXPECT_FALSE(FileName::getSystemFolder(QV::GP::kUserDomain, QV::GP::kPictureDocumentsFolderType, kept, false));
    EXPECT_EQ(kept.getFull(), "Disk:kept:") << "a failed lookup leaves the name alone";
    EXPECT_TRUE(FileName::getSystemFolder(QV::GP::kUserDomain, QV::GP::kPictureDocumentsFolderType, kept, true));
    EXPECT_EQ(kept.getState(), FileName::eStateDirectory);
    EXPECT_EQ(kept.getName(), "");
    EXPECT_EQ(endOf(kept.getFull(), 10), ":Pictures:");
}
