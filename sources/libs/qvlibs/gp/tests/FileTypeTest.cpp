#include <QV/GP/FileManager.h>
#include <QV/GP/FileName.h>
#include <QV/GP/FileTypeManager.h>
#include <QV/GP/URI.h>

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

using QV::GP::FileManager;
using QV::GP::FileName;
using QV::GP::FileTypeManager;
using QV::GP::URI;

namespace {

class FileTypeTest : public ::testing::Test
{
protected:
    void SetUp() override { FileTypeManager::init(); }
    void TearDown() override { FileTypeManager::deInit(); }

    static std::string scratchFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp != nullptr ? tmp : "/tmp") + "/gp-types-" + std::to_string(::getpid()) + "/";
        ::mkdir(folder.c_str(), 0700);
        return folder;
    }
};

} // namespace

TEST_F(FileTypeTest, StandardTypesAndGroups)
{
    const auto* jpeg = FileTypeManager::getStdType(FileTypeManager::eStdTypeJPEG);
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(jpeg->m_plural, "JPEG Files");
    EXPECT_EQ(FileTypeManager::getUniqueTypeForExtension("JFIF"), jpeg) << "extensions ignore case";
    EXPECT_EQ(FileTypeManager::getUniqueTypeForExtension("nothing"),
              FileTypeManager::getStdType(FileTypeManager::eStdTypeUnknown));
    // "*" and '????' are listed by several standard types: no unique answer.
    EXPECT_EQ(FileTypeManager::getUniqueTypeForExtension("*"), nullptr);
    EXPECT_EQ(FileTypeManager::getUniqueTypeForMacMagic(QV::GP::makeFileTypeMacMagic("????")), nullptr);
    EXPECT_EQ(FileTypeManager::getUniqueTypeForMacMagic(QV::GP::makeFileTypeMacMagic(".WAV")),
              FileTypeManager::getStdType(FileTypeManager::eStdTypeWAV));

    const auto* audio = FileTypeManager::getStdGroup(FileTypeManager::eStdGroupAudio);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->m_members.size(), 3u);
    EXPECT_EQ(FileTypeManager::getGroupDescrFor(nullptr),
              FileTypeManager::getStdType(FileTypeManager::eStdTypeUnknown)->m_ownGroup);
}

TEST_F(FileTypeTest, RegistrationBlocks)
{
    EXPECT_EQ(FileTypeManager::registerType("Late", "Lates", "late", 0), nullptr) << "no block is open";

    auto handle = FileTypeManager::beginRegistration();
    const auto* first = FileTypeManager::registerType("Catalogue", "Catalogues", "mo", 0);
    const auto* second = FileTypeManager::registerType("Machine Object", "Machine Objects", "MO", 0);
    FileTypeManager::endRegistration();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(FileTypeManager::getUniqueTypeForExtension("mo"), nullptr) << "two types list it";

    FileTypeManager::unregister(handle);
    EXPECT_EQ(handle.registrationCount, 0u);
    EXPECT_EQ(FileTypeManager::getUniqueTypeForExtension("mo"),
              FileTypeManager::getStdType(FileTypeManager::eStdTypeUnknown));
    EXPECT_NE(FileTypeManager::getStdType(FileTypeManager::eStdTypeXML), nullptr) << "older blocks stay";

    FileTypeManager::deInit();
    EXPECT_EQ(FileTypeManager::getStdType(FileTypeManager::eStdTypeXML), nullptr);
    EXPECT_EQ(FileTypeManager::beginRegistration().registrationCount, 0u) << "nothing opens before init";
}

TEST_F(FileTypeTest, DetermineTypeByExtensionOrAsDirectory)
{
    FileName picture("gp-missing-picture.PNG");
    picture.setType(nullptr);
    EXPECT_TRUE(FileTypeManager::determineType(picture));
    EXPECT_EQ(picture.getType(), FileTypeManager::getStdType(FileTypeManager::eStdTypePNG));
    EXPECT_FALSE(FileTypeManager::determineType(picture)) << "unchanged";

    FileName unknown("gp-missing.unknownext");
    EXPECT_FALSE(FileTypeManager::determineType(unknown));
    EXPECT_EQ(unknown.getType(), nullptr);

    FileName folder("Disk:x:");
    EXPECT_FALSE(FileTypeManager::determineType(folder)) << "only file names";

    // A package: a directory under a file name (made after the name, which
    // would otherwise be taken as a directory when parsed).
    const std::string base = scratchFolder();
    FileName package{boost::filesystem::path(base + "bundle.pkg")};
    ASSERT_EQ(package.getState(), FileName::eStateFile);
    ::mkdir((base + "bundle.pkg").c_str(), 0700);
    EXPECT_TRUE(FileManager::existsFile(package));
    EXPECT_TRUE(FileTypeManager::determineType(package));
    EXPECT_EQ(package.getType(), FileTypeManager::getStdType(FileTypeManager::eStdTypeDirectory));
}

TEST_F(FileTypeTest, FileManagerQuestions)
{
    const std::string base = scratchFolder();
    std::ofstream(base + "ten.xml") << "0123456789";
    const FileName ten{boost::filesystem::path(base + "ten.xml")};
    EXPECT_TRUE(FileManager::existsFile(ten));
    EXPECT_FALSE(FileManager::existsDir(ten));
    EXPECT_EQ(FileManager::getFileSize(ten), 10u);

    const FileName folder{boost::filesystem::path(base)};
    EXPECT_TRUE(FileManager::existsDir(folder));
    EXPECT_FALSE(FileManager::existsFile(folder)) << "a directory is a file only under a file name";
    EXPECT_FALSE(FileManager::existsDir(FileName()));

    // Items inside containers cannot be reached yet.
    const FileName item(ten.getFull() + "<inner>");
    EXPECT_EQ(item.getSubpath(), "<inner>");
    EXPECT_FALSE(FileManager::existsFile(item));
    EXPECT_EQ(FileManager::getFileSize(item), 0u);

    FileName fresh{boost::filesystem::path(base + "fresh.xml")};
    EXPECT_FALSE(FileManager::createFile(fresh)) << "no type yet";
    FileTypeManager::determineType(fresh);
    EXPECT_TRUE(FileManager::createFile(fresh));
    EXPECT_TRUE(FileManager::existsFile(fresh));
    EXPECT_EQ(FileManager::getFileSize(fresh), 0u);

    FileName current;
    ASSERT_TRUE(FileManager::getCurDir(current));
    EXPECT_EQ(current.getState(), FileName::eStateDirectory);
    EXPECT_EQ(current.getSystemPath(false, false), boost::filesystem::current_path().string() + "/");
}

TEST_F(FileTypeTest, FileURLs)
{
    const std::string base = scratchFolder();
    const FileName name{boost::filesystem::path(base + "a b%#?.txt")};
    const URI uri(name);
    EXPECT_EQ(uri.get(), "file://" + base + "a%20b%25%23%3F.txt");

    std::string colon;
    ASSERT_TRUE(uri.getFileNameString(colon));
    EXPECT_EQ(colon, name.getFull());
    FileName back;
    ASSERT_TRUE(uri.getFileName(back));
    EXPECT_EQ(back.getSystemPath(false, false), base + "a b%#?.txt");

    URI folder(FileName{boost::filesystem::path(base)});
    EXPECT_EQ(folder.get().back(), '/');
    EXPECT_TRUE(URI().isNull());
    EXPECT_EQ(URI(FileName("Nowhere:x")).get(), "") << "an unknown volume has no URL";

    URI parsed;
    const std::string localhost = "file://localhost/proc/cpuinfo";
    ASSERT_TRUE(parsed.createCanonicalLocation(QV::GP::CharSequence<char>(localhost.data(), localhost.size())));
    ASSERT_TRUE(parsed.getFileNameString(colon));
    EXPECT_EQ(colon, "proc:cpuinfo");

    const char* refused[] = {"http://example.com/x", "file://elsewhere/x", "file://%00", "file:///a%2"};
    for (const char* text : refused)
    {
        URI other;
        const std::string t = text;
        other.createCanonicalLocation(QV::GP::CharSequence<char>(t.data(), t.size()));
        EXPECT_FALSE(other.getFileNameString(colon)) << text;
    }
    const char* notURLs[] = {"", "has space", "bad%zz", "quote\"d"};
    for (const char* text : notURLs)
    {
        URI other;
        const std::string t = text;
        EXPECT_FALSE(other.createCanonicalLocation(QV::GP::CharSequence<char>(t.data(), t.size()))) << text;
        EXPECT_TRUE(other.isNull());
    }
}
