// Resource lookup by type folder in folders made for each test: the skin
// beside the bundle, the skin of the current directory and the bundle's
// resources, in that order; pictures and fonts loaded and kept.
#include <QV/GP/Lib.h>
#include <QV/GP/Region.h>
#include <QV/QTK/Lib.h>
#include <QV/QTK/Resources.h>
#include <QV/UIA/Font.h>
#include <QV/UIA/Picture.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace QV::QTK {
namespace {

namespace fs = std::filesystem;

class ResourcesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qtk-resources-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        top = pattern;
        bundle = top / "Updater.app";
        resources = bundle / "Resources";
        fs::create_directories(resources);
        fs::create_directories(top / "work");
        previous = fs::current_path();
        fs::current_path(top / "work");
        Resources::clearCache();
        Resources::setBundleFolders(bundle, resources);
        Resources::setSkinSearch(true);
    }

    void TearDown() override
    {
        fs::current_path(previous);
        Resources::clearCache();
        Resources::setSkinSearch(false);
        fs::remove_all(top);
    }

    static void write(const fs::path& file, const std::string& content)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

    static void copy(const fs::path& from, const fs::path& to)
    {
        fs::create_directories(to.parent_path());
        fs::copy_file(from, to);
    }

    fs::path top;
    fs::path bundle;
    fs::path resources;
    fs::path previous;
};

TEST_F(ResourcesTest, TheSkinBesideTheBundleComesFirstThenTheCurrentDirectorysThenTheBundle)
{
    const fs::path besideBundle = top / "skin/pictures/a.png";
    const fs::path inCurrent = top / "work/skin/pictures/a.png";
    const fs::path inBundle = resources / "pictures/a.png";
    write(besideBundle, "1");
    write(inCurrent, "2");
    write(inBundle, "3");

    EXPECT_EQ(Resources::find("pictures", "a.png"), besideBundle);
    fs::remove(besideBundle);
    EXPECT_EQ(Resources::find("pictures", "a.png"), inCurrent);
    Resources::setSkinSearch(false);
    EXPECT_EQ(Resources::find("pictures", "a.png"), inBundle) << "skins only while the search is on";
    Resources::setSkinSearch(true);
    fs::remove(inCurrent);
    EXPECT_EQ(Resources::find("pictures", "a.png"), inBundle);
    EXPECT_EQ(Resources::find("fonts", "a.png"), std::nullopt) << "another type folder";

    // A folder of the name is no file.
    fs::create_directories(top / "skin/pictures/b.png");
    write(inBundle.parent_path() / "b.png", "3");
    EXPECT_EQ(Resources::find("pictures", "b.png"), inBundle.parent_path() / "b.png");
}

TEST_F(ResourcesTest, NamesThatWouldLeaveTheTypeFolderAreRefused)
{
    write(resources / "secret.png", "x");
    write(resources / "pictures/sub/a.png", "x");
    for (const char* name : {"", ".", "..", "../secret.png", "sub/a.png", "/etc/passwd"})
        EXPECT_EQ(Resources::find("pictures", name), std::nullopt) << name;
    EXPECT_EQ(Resources::find("..", "secret.png"), std::nullopt);
    EXPECT_EQ(Resources::find("", "secret.png"), std::nullopt);
}

TEST_F(ResourcesTest, PicturesAreReadOnceAndBadFilesGiveNothing)
{
    copy(QV_QTK_TEST_PICTURE, resources / "pictures/info.png");
    write(resources / "pictures/bad.png", "\x89PNG\r\n\x1a\nnot really");

    const auto info = Resources::getPicture("info.png");
    ASSERT_NE(info, nullptr);
    EXPECT_GT(info->getWidth(), 0);
    EXPECT_EQ(Resources::getPicture("info.png"), info) << "kept";
    EXPECT_EQ(Resources::getPicture("bad.png"), nullptr);
    EXPECT_EQ(Resources::getPicture("missing.png"), nullptr);
    EXPECT_EQ(Resources::getPicture("../pictures/info.png"), nullptr);

    Resources::clearCache();
    Resources::setBundleFolders(bundle, resources);
    const auto again = Resources::getPicture("info.png");
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, info) << "read again after the cache was cleared";
}

TEST_F(ResourcesTest, FontsComeFromTheFontsFolderOrAreBuiltIn)
{
    copy("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", resources / "fonts/Mono.ttf");
    write(resources / "fonts/Broken.ttf", "not a font");

    const auto mono = Resources::getFont("Mono.ttf", 12);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(Resources::getFont("Mono.ttf", 12), mono);
    EXPECT_NE(Resources::getFont("Mono.ttf", 20), mono) << "another size";
    EXPECT_EQ(mono->getStringWidth("iiii", -1), mono->getStringWidth("MMMM", -1)) << "the monospaced file";

    const auto builtIn = Resources::getFont("", 12);
    ASSERT_NE(builtIn, nullptr);
    EXPECT_LT(builtIn->getStringWidth("iiii", -1), builtIn->getStringWidth("MMMM", -1));

    EXPECT_EQ(Resources::getFont("Broken.ttf", 12), nullptr);
    EXPECT_EQ(Resources::getFont("Missing.ttf", 12), nullptr);
    EXPECT_EQ(Resources::getFont("Mono.ttf", 0), nullptr);
}

TEST(ToolkitLib, StartsOnceAndForgetsItsCachesWhenStopped)
{
    ASSERT_TRUE(GP::Lib::init(GP::makeFileTypeMacMagic("TEST"), "test", GP::Lib::kVersion, GP::Lib::kFlavour));
    ASSERT_TRUE(Lib::init());
    EXPECT_TRUE(Lib::isInitialized());
    EXPECT_FALSE(Resources::isSkinSearch());
    EXPECT_TRUE(Lib::init()) << "a second start changes nothing";
    Resources::setSkinSearch(true);
    const auto font = Resources::getFont("", 13);
    ASSERT_NE(font, nullptr);

    Lib::deInit();
    EXPECT_FALSE(Lib::isInitialized());
    EXPECT_FALSE(Resources::isSkinSearch());
    EXPECT_NE(Resources::getFont("", 13), font) << "the cache was emptied";
    Lib::deInit();
    GP::Lib::deInit();
}

} // namespace
} // namespace QV::QTK
