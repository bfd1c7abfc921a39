// Menu titles, key equivalents of shortcut words, the shortcut table and the
// accelerators' look-up, without a display.
#include <QV/UIA/AcceleratorManager.h>
#include <QV/UIA/Menu.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using namespace QV::UIA;
using DETAIL::keyEquivalentOf;
using DETAIL::menuTitleText;

std::string title(const std::string& text)
{
    return menuTitleText(text);
}

constexpr unsigned long kShift = 0x20000, kControl = 0x40000, kOption = 0x80000, kCommand = 0x100000,
                        kNumericPad = 0x200000, kFunction = 0x800000;

struct ShortcutTable : ::testing::Test {
    void SetUp() override { HMenu::shortcuts().clear(); }
    void TearDown() override { HMenu::shortcuts().clear(); }
};

} // namespace

TEST(MenuTitle, MarksAreRemovedAndADoubledMarkLeavesOne)
{
    EXPECT_EQ(title("&File"), "File");
    EXPECT_EQ(title("Save &As..."), "Save As...");
    EXPECT_EQ(title("Fish && Chips"), "Fish & Chips");
    EXPECT_EQ(title("&&&Edit"), "&Edit");
    EXPECT_EQ(title("\xC3\x96&ffnen"), "\xC3\x96" "ffnen");
    EXPECT_EQ(title(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(menuTitleText(QV::GP::CharSequence<char>(nullptr, 0)), "");
}

TEST(MenuTitle, AMarkAtTheEndIsDroppedWithoutReadingPastTheText)
{
    // The view ends before the bytes that follow it in memory: nothing of
    // them may appear in the title.
    const std::string memory = "Quit&XYZ";
    EXPECT_EQ(menuTitleText(QV::GP::CharSequence<char>(memory.data(), 5)), "Quit");
    EXPECT_EQ(title("&"), "");
    EXPECT_EQ(title("&&&"), "&");
    EXPECT_EQ(title("A&&&"), "A&");
}

TEST(MenuKeyEquivalent, LettersFollowShiftAndModifiersMapToThePlatformMask)
{
    const auto commandQ = keyEquivalentOf(kModifierCommand | 'Q');
    EXPECT_EQ(commandQ.character, 'q');
    EXPECT_EQ(commandQ.modifierMask, kCommand);

    const auto shifted = keyEquivalentOf(kModifierCommand | kModifierShift | 's');
    EXPECT_EQ(shifted.character, 'S');
    EXPECT_EQ(shifted.modifierMask, kCommand | kShift);

    const auto all = keyEquivalentOf(kModifierCommand | kModifierControl | kModifierOption | 'K');
    EXPECT_EQ(all.character, 'k');
    EXPECT_EQ(all.modifierMask, kCommand | kControl | kOption);

    // Latin-1 letters have cases; the division sign has none.
    EXPECT_EQ(keyEquivalentOf(kModifierShift | 0xE4).character, 0xC4);
    EXPECT_EQ(keyEquivalentOf(0xD6).character, 0xF6);
    EXPECT_EQ(keyEquivalentOf(kModifierShift | 0xF7).character, 0xF7);
    EXPECT_EQ(keyEquivalentOf(kModifierCommand | ',').character, ',');
}

TEST(MenuKeyEquivalent, FunctionKeypadAndControlKeys)
{
    const auto f1 = keyEquivalentOf(kModifierCommand | 0x10001);
    EXPECT_EQ(f1.character, 0xF704);
    EXPECT_EQ(f1.modifierMask, kCommand | kFunction);
    EXPECT_EQ(keyEquivalentOf(0x1000C).character, 0xF70F);

    // A keypad key keeps its own character, even one in the control range.
    const auto keypad1 = keyEquivalentOf(kModifierCommand | 0x800000 | '1');
    EXPECT_EQ(keypad1.character, '1');
    EXPECT_EQ(keypad1.modifierMask, kCommand | kNumericPad);
    EXPECT_EQ(keyEquivalentOf(0x800000 | 5).character, 5);

    // Keys 1 to 18 stand for control and navigation keys; 4, 6 and 7 and
    // everything above 18 keep their own value.
    const std::map<unsigned, unsigned> controlKeys{{1, 0x1B},     {2, 0x08},     {3, 0x09},     {4, 4},
                                                   {5, 0x0D},     {6, 6},        {7, 7},        {8, 0xF727},
                                                   {11, 0xF72B},  {14, 0xF700},  {17, 0xF703},  {18, 0xF739},
                                                   {19, 19}};
    for (const auto& [keyCode, character] : controlKeys)
        EXPECT_EQ(keyEquivalentOf(keyCode).character, character) << keyCode;
}

TEST_F(ShortcutTable, TheApplicationCommandsTakeTheirOwnShortcuts)
{
    // About and Quit live in the application menu, which has Command+Q for
    // Quit, whatever shortcut the caller gave.
    DETAIL::recordShortcut(static_cast<int>(kCommandAbout), kModifierCommand | 'A');
    DETAIL::recordShortcut(static_cast<int>(kCommandQuit), 0);
    DETAIL::recordShortcut(static_cast<int>(kCommandPreferences), 0);
    DETAIL::recordShortcut(static_cast<int>(kCommandPreferences), kModifierCommand | 'P');
    const std::map<unsigned, int> expected{{0x2000002cu, static_cast<int>(kCommandPreferences)},
                                           {0x20000051u, static_cast<int>(kCommandQuit)}};
    EXPECT_EQ(HMenu::shortcuts(), expected);
}

TEST_F(ShortcutTable, OtherCommandsRecordTheirShortcutAndALaterOneWins)
{
    DETAIL::recordShortcut(1234, 0);
    EXPECT_TRUE(HMenu::shortcuts().empty());
    DETAIL::recordShortcut(1234, kModifierCommand | 'E');
    DETAIL::recordShortcut(5678, kModifierCommand | 'E');
    DETAIL::recordShortcut(40000, kModifierCommand | kModifierShift | 'E');
    const std::map<unsigned, int> expected{{kModifierCommand | 'E', 5678},
                                           {kModifierCommand | kModifierShift | 'E', 40000}};
    EXPECT_EQ(HMenu::shortcuts(), expected);
}

TEST(Accelerators, FindTheExactShortcutElseTheOneWithoutTheSideBits)
{
    AcceleratorManager accelerators;
    auto& map = accelerators.impl();
    map.add(kModifierCommand | 'E', 1);
    map.add(kModifierCommand | 0x800000 | '1', 2);
    map.add(kModifierCommand | 'E', 3);
    EXPECT_EQ(map.getCommand(kModifierCommand | 'E'), 3);
    // A bit of 0xfe0000 (here the keypad bit) falls back to the plain word.
    EXPECT_EQ(map.getCommand(kModifierCommand | 0x800000 | 'E'), 3);
    EXPECT_EQ(map.getCommand(kModifierCommand | 0x020000 | 'E'), 3);
    // An entry stored with such a bit is found only by its exact word.
    EXPECT_EQ(map.getCommand(kModifierCommand | 0x800000 | '1'), 2);
    EXPECT_EQ(map.getCommand(kModifierCommand | '1'), 0);
    // The function-key bit is part of the key, not a side bit.
    EXPECT_EQ(map.getCommand(kModifierCommand | 0x10000 | 'E'), 0);
    map.removeAll();
    EXPECT_EQ(map.getCommand(kModifierCommand | 'E'), 0);
}
