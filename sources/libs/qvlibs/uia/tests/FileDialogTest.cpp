// The file dialog's portable half: the types a panel offers, the folder it
// opens at, and the choice it hands back, which must be a real file name.
#include <QV/GP/FileTypeManager.h>
#include <QV/GP/URI.h>
#include <QV/UIA/FileDialog.h>

#include <gtest/gtest.h>

using namespace QV::UIA;
using QV::GP::FileName;
using QV::GP::FileTypeManager;
using QV::GP::URI;

namespace {

class FileDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(FileTypeManager::init()); }
    void TearDown() override { FileTypeManager::deInit(); }

    static URI url(const char* text)
    {
        URI uri;
        uri.createCanonicalLocation(QV::GP::CharSequence<char>(text, std::char_traits<char>::length(text)));
        return uri;
    }
};

} // namespace

TEST_F(FileDialogTest, OfferedTypesComeFromTheGroupsAndTheStandardGroupAllowsOthers)
{
    // Each type has a group of its own; the same group twice offers its
    // extensions once.
    const auto* png = FileTypeManager::getStdType(FileTypeManager::eStdTypePNG)->m_ownGroup;
    const auto* jpeg = FileTypeManager::getStdType(FileTypeManager::eStdTypeJPEG)->m_ownGroup;
    const auto* any = FileTypeManager::getStdGroup(FileTypeManager::eStdGroupUnknown);
    ASSERT_NE(png, nullptr);
    ASSERT_NE(jpeg, nullptr);

    const DETAIL::AllowedFileTypes only = DETAIL::allowedFileTypes({png, jpeg, png});
    EXPECT_FALSE(only.allowsOthers);
    EXPECT_EQ(only.extensions.front(), "png");
    EXPECT_NE(std::find(only.extensions.begin(), only.extensions.end(), "jpg"), only.extensions.end());
    for (const std::string& extension : only.extensions) {
        EXPECT_NE(extension, "*");
        EXPECT_EQ(std::count(only.extensions.begin(), only.extensions.end(), extension), 1) << extension;
    }

    const DETAIL::AllowedFileTypes withAny = DETAIL::allowedFileTypes({png, jpeg, any});
    EXPECT_TRUE(withAny.allowsOthers);
    EXPECT_EQ(withAny.extensions, only.extensions);
    // A null group stands for the standard group 0.
    EXPECT_TRUE(DETAIL::allowedFileTypes({nullptr}).allowsOthers);
}

TEST_F(FileDialogTest, ThePanelOpensAtTheFolderOfAFileOrAtTheDirectory)
{
    EXPECT_EQ(DETAIL::initialFolder(FileName()), "");
    EXPECT_EQ(DETAIL::initialFolder(FileName("Root:tmp:reports:summary.txt")), "/tmp/reports/");
    EXPECT_EQ(DETAIL::initialFolder(FileName("Root:tmp:reports:")), "/tmp/reports/");
    // A volume that is not mounted has no folder: the panel keeps its own.
    EXPECT_EQ(DETAIL::initialFolder(FileName("NoSuchVolume-4711:dir:name.txt")), "");
}

TEST_F(FileDialogTest, AChoiceWithoutAFileNameIsNoChoice)
{
    FileName name("Root:old:choice.txt");
    EXPECT_TRUE(DETAIL::chosenFileName(url("file:///tmp/reports/summary.png"), FileDialog::eActionOpenFile, name));
    EXPECT_EQ(name.getFull(), "Root:tmp:reports:summary.png");
    EXPECT_EQ(name.getType(), FileTypeManager::getStdType(FileTypeManager::eStdTypePNG));

    EXPECT_TRUE(DETAIL::chosenFileName(url("file:///tmp/reports/"), FileDialog::eActionChooseFolder, name));
    EXPECT_EQ(name.getFull(), "Root:tmp:reports:");
    EXPECT_EQ(name.getType(), FileTypeManager::getStdType(FileTypeManager::eStdTypeDirectory));

    // Another machine's file, another scheme, and no URL at all: false, and
    // no name left over from before.
    for (const URI& foreign : {url("file://elsewhere/tmp/a.txt"), url("https://example.com/a.txt"), URI()}) {
        name = FileName("Root:old:choice.txt");
        EXPECT_FALSE(DETAIL::chosenFileName(foreign, FileDialog::eActionSaveFile, name)) << foreign.get();
        EXPECT_EQ(name.getState(), FileName::eStateEmpty);
    }
}

TEST_F(FileDialogTest, AnUnknownActionAnswersFalseAtOnceWithTheNameCleared)
{
    FileDialog dialog;
    EXPECT_FALSE(dialog.doModal(static_cast<FileDialog::eFileAction>(3), nullptr));
    EXPECT_EQ(dialog.getFileName().getState(), FileName::eStateEmpty);
    EXPECT_EQ(dialog.getAction(), 3);
}
