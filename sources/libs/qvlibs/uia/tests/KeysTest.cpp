// Key tables and the view's key path over recorded platform events, without
// a display: a fake layout stands in for the X server's, a fake view
// records what the key path sends.
#include "Common/KeyInput.h"
#include "Common/KeyboardLayout.h"

#include <QV/UIA/CLI.h>
#include <QV/UIA/DETAIL/Keys.h>
#include <QV/UIA/EventCode.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

using namespace QV::UIA;
using DETAIL::KeyInput;
using DETAIL::Keys;
using DETAIL::PlatformKeyEvent;

constexpr unsigned long kShiftFlag = 1ul << 17;
constexpr unsigned long kCommandFlag = 1ul << 20;

// A layout given as the text of each keycode; capitals are ASCII's, and
// "ß" is capitalised to "SS" as a locale does.
class FakeLayout : public DETAIL::KeyboardLayout
{
public:
    explicit FakeLayout(std::map<unsigned, std::u16string> keys)
        : m_keys(std::move(keys))
    {
    }
    std::u16string keyText(unsigned keyCode) const override
    {
        const auto found = m_keys.find(keyCode);
        return found == m_keys.end() ? std::u16string() : found->second;
    }
    std::u16string capitalise(const std::u16string& text) const override
    {
        if (text == u"ß")
            return u"SS";
        std::u16string upper = text;
        for (char16_t& c : upper)
            if ((c >= 'a' && c <= 'z') || (c >= 0xe0 && c <= 0xfe && c != 0xf7))
                c -= 0x20;
        return upper;
    }

private:
    std::map<unsigned, std::u16string> m_keys;
};

// Keycodes on a PC keyboard: 24 Q, 29 Y, 38 A, 20 minus, 10 the digit 1,
// 36 Return, 65 space, 191 F13.
const FakeLayout kUS({{24, u"q"}, {29, u"y"}, {38, u"a"}, {20, u"-"}, {10, u"1"}, {36, u"\r"}, {65, u" "}});
const FakeLayout kGerman({{24, u"q"}, {29, u"z"}, {38, u"a"}, {20, u"ß"}, {10, u"1"}, {21, u"\u00b4"}, {34, u"ü"},
                          {47, u"ab"}, {48, u"\x7f"}});

PlatformKeyEvent key(unsigned keyCode, std::u16string characters, unsigned long flags = 0, bool repeat = false)
{
    return {keyCode, std::move(characters), flags, repeat};
}

TEST(Keys, FixedEntriesStandUnderEveryLayoutAndLayoutKeysFollowIt)
{
    unsigned position = 0;
    for (const FakeLayout* layout : {static_cast<const FakeLayout*>(nullptr), &kUS, &kGerman}) {
        Keys::build(layout);
        EXPECT_EQ(Keys::macOSToUIA(9, position), 1u);
        EXPECT_EQ(position, 1u);
        EXPECT_EQ(Keys::macOSToUIA(96, position), 0x1000Cu); // F12
        EXPECT_EQ(Keys::macOSToUIA(19, position), unsigned('0'));
        EXPECT_EQ(Keys::macOSToUIA(91, position), 0x80002Cu); // keypad decimal: the comma
        EXPECT_EQ(position, 0x80002Cu);
        EXPECT_EQ(Keys::macOSToUIA(104, position), 0x800005u);
        EXPECT_EQ(Keys::macOSToUIA(29, position) != 0, layout != nullptr);
        EXPECT_EQ(position, unsigned('Y'));
        EXPECT_EQ(Keys::macOSToUIA(48, position), 0u);
        EXPECT_EQ(position, unsigned('"'));
        // The extra ISO key and keys past the table have no entry at all.
        EXPECT_EQ(Keys::macOSToUIA(94, position), 0u);
        EXPECT_EQ(position, 0u);
        position = 7;
        EXPECT_EQ(Keys::macOSToUIA(256, position), 0u);
        EXPECT_EQ(position, 0u);
    }
    EXPECT_EQ(std::count_if(std::begin(Keys::s_VKeyToUIAScan), std::end(Keys::s_VKeyToUIAScan),
                            [](std::uint32_t v) { return v != 0; }),
              53 + 38);

    Keys::build(&kGerman);
    EXPECT_EQ(Keys::macOSToUIA(29, position), unsigned('Z'));
    EXPECT_EQ(Keys::macOSToUIA(20, position), unsigned('S')); // the first unit of "SS"
    EXPECT_EQ(position, unsigned('-'));
    EXPECT_EQ(Keys::macOSToUIA(34, position), 0xdcu);  // ü capitalised
    EXPECT_EQ(Keys::macOSToUIA(21, position), 0xb4u); // the acute dead key types its accent
    EXPECT_EQ(Keys::macOSToUIA(47, position), 0u);     // two units name no key
    EXPECT_EQ(Keys::macOSToUIA(10, position), unsigned('1'));
    Keys::build(&kUS);
    EXPECT_EQ(Keys::macOSToUIA(36, position), 5u); // Return is fixed, its text is not a key
    EXPECT_EQ(Keys::macOSToUIA(65, position), 0x20u);
}

TEST(Keys, KeysymsGiveTheCharactersTheyType)
{
    EXPECT_EQ(DETAIL::keysymCharacter(0x61), U'a');
    EXPECT_EQ(DETAIL::keysymCharacter(0xdf), U'ß');
    EXPECT_EQ(DETAIL::keysymCharacter(0x10020ac), U'€');
    EXPECT_EQ(DETAIL::keysymCharacter(0xfe52), U'^');
    EXPECT_EQ(DETAIL::keysymCharacter(0xff0d), 0u); // Return
    EXPECT_EQ(DETAIL::keysymCharacter(0x100d800), 0u);
    EXPECT_EQ(DETAIL::keysymCharacter(0x1200000), 0u);
}

TEST(Keys, KeyEventsBecomeKeyWords)
{
    Keys::build(&kUS);
    unsigned position = 99;
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(38, u"a", kShiftFlag), &position), 0x41u | kModifierShift);
    EXPECT_EQ(position, 0x41u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(111, u"\uF700"), &position), 14u);
    EXPECT_EQ(position, 14u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(70, u"\uF707"), &position), 0x10004u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(23, u"\x19", kShiftFlag), &position), 3u | kModifierShift);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(22, u"\x7f"), &position), 2u);
    // A key the tables do not know is named by its printable character...
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(200, u"q"), &position), unsigned('Q'));
    EXPECT_EQ(position, 0u);
    // ...but a control character does not pass for a named key (10 is Home).
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(200, u"\n"), &position), 0u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(200, u"\x01"), &position), 0u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(200, u"é"), &position), 0u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(300, u"q"), &position), 0u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(38, u"ab", kCommandFlag), nullptr), kModifierCommand);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(38, u""), &position), 0u);
    EXPECT_EQ(position, 0u);
}

// A view that records what the key path sends and answers as told.
struct FakeView : DETAIL::KeyInputHost {
    struct Sent {
        unsigned code;
        std::uint32_t word;
        std::uint32_t second;
        bool firstPress;
    };
    bool impl = true;
    bool client = true;
    bool marked = false;
    std::function<bool(unsigned)> handles = [](unsigned) { return false; };
    std::function<void()> interpret = [] {};
    std::function<bool()> menu = [] { return false; };
    std::map<std::uint32_t, int> accelerators;
    std::vector<Sent> sent;
    std::vector<std::string> actions;
    int kept = 0;

    bool hasWindowImpl() const override { return impl; }
    bool sendKeyEvent(unsigned code, EventData& data) override
    {
        Sent s{code, 0, 0, false};
        if (code == kEventKeyDown || code == kEventKeyUp) {
            const auto& k = static_cast<KeyEventData&>(data);
            s = {code, k.keyWord, k.positionKey, k.firstPress};
        } else if (code == kEventModifierKeys) {
            const auto& m = static_cast<ModifierKeysEventData&>(data);
            s = {code, m.modifiers, m.platformKeyCode, false};
        } else if (code == kEventKeyCommand) {
            const auto& c = static_cast<KeyCommandEventData&>(data);
            s = {code, c.command, c.extendSelection, false};
        } else if (code == kEventCommand) {
            s.word = static_cast<CommandEventData&>(data).commandId;
        }
        sent.push_back(s);
        return handles(code);
    }
    void keepCurrentEvent() override { ++kept; }
    void releaseCurrentEvent() override { kept = 0; }
    bool hasTextInputClient() const override { return client; }
    bool hasMarkedText() const override { return marked; }
    void interpretCurrentEvent() override { interpret(); }
    int acceleratorCommand(std::uint32_t keyWord) override
    {
        const auto found = accelerators.find(keyWord);
        return found == accelerators.end() ? 0 : found->second;
    }
    bool offerCurrentEventToMainMenu() override { return menu(); }
    bool hasPlatformWindow() const override { return true; }
    void selectAll() override { actions.push_back("select all"); }
    void hideApplication(bool others) override { actions.push_back(others ? "hide others" : "hide"); }
    void miniaturizeWindow() override { actions.push_back("miniaturize"); }
    void performCloseWindow() override { actions.push_back("close"); }
};

class KeyPath : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Keys::build(&kUS);
        KeyInput::clearCommandsInProgress();
    }
    void TearDown() override { AppTarget::instance() = 0; }

    FakeView view;
    DETAIL::KeyInputState state;
    KeyInput input{view, state};
};

TEST_F(KeyPath, KeyDownsAndUpsBecomeKeyEventsAndUnhandledOnesGoOn)
{
    view.handles = [](unsigned code) { return code == kEventKeyDown; };
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a", kShiftFlag)));
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a", kShiftFlag, true)));
    EXPECT_FALSE(input.handleKeyUp(key(38, u"a")));
    ASSERT_EQ(view.sent.size(), 3u);
    EXPECT_EQ(view.sent[0].word, 0x41u | kModifierShift);
    EXPECT_EQ(view.sent[0].second, 0x41u);
    EXPECT_TRUE(view.sent[0].firstPress);
    EXPECT_FALSE(view.sent[1].firstPress);
    EXPECT_EQ(view.sent[2].code, unsigned(kEventKeyUp));
    EXPECT_EQ(view.kept, 0);
    EXPECT_EQ(state.keyWord, 0u);

    // F13 gives neither a key nor a position key: no event at all.
    view.sent.clear();
    EXPECT_FALSE(input.handleKeyDown(key(191, u"\uF710")));
    EXPECT_FALSE(input.handleKeyUp(key(191, u"\uF710", kShiftFlag)));
    EXPECT_TRUE(view.sent.empty());

    // Characters that name no key fall back to the keycode's entries.
    EXPECT_TRUE(input.handleKeyDown(key(10, u"", kShiftFlag)));
    EXPECT_EQ(view.sent.back().word, unsigned('1'));

    input.flagsChanged(key(50, u"", kShiftFlag));
    EXPECT_EQ(view.sent.back().code, unsigned(kEventModifierKeys));
    EXPECT_EQ(view.sent.back().word, kModifierShift);
    EXPECT_EQ(view.sent.back().second, 50u);
    EXPECT_FALSE(input.performKeyEquivalent(KeyInput::kFlagsChanged, key(50, u"")));
    EXPECT_FALSE(input.performKeyEquivalent(KeyInput::kOther, key(38, u"a")));
}

TEST_F(KeyPath, TheInputSystemGetsWhatTheWindowLeavesAndCompositionsSkipTheKeyEvent)
{
    view.interpret = [&] { input.doCommand("moveLeftAndModifySelection:"); };
    view.handles = [](unsigned code) { return code == kEventKeyCommand; };
    EXPECT_TRUE(input.handleKeyDown(key(113, u"\uF702", kShiftFlag)));
    ASSERT_EQ(view.sent.size(), 2u);
    EXPECT_EQ(view.sent[1].code, unsigned(kEventKeyCommand));
    EXPECT_EQ(view.sent[1].word, 0u);
    EXPECT_EQ(view.sent[1].second, 1u);

    // With a composition under way only the input system sees the key; a
    // text-handled flag left from an earlier key does not count.
    view.sent.clear();
    view.marked = true;
    bool interpreted = false;
    view.interpret = [&] { interpreted = true; };
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a")));
    EXPECT_TRUE(interpreted);
    EXPECT_TRUE(view.sent.empty());

    // Without a text-input client an editing command is no key command.
    view.client = false;
    input.doCommand("deleteBackward:");
    EXPECT_TRUE(view.sent.empty());
    EXPECT_FALSE(state.textHandled);

    KeyCommandEventData command;
    EXPECT_TRUE(KeyInput::keyCommandFor("deleteForward:", command));
    EXPECT_EQ(command.command, 8u);
    EXPECT_FALSE(KeyInput::keyCommandFor("insertNewline:", command));
}

TEST_F(KeyPath, TheDepthGuardAlwaysComesDown)
{
    // A key down of a detached view, a throwing handler and a nested key
    // down each leave the view able to take the next key.
    view.impl = false;
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a")));
    view.impl = true;
    view.handles = [](unsigned) -> bool { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(input.handleKeyDown(key(38, u"a")), std::runtime_error);
    EXPECT_EQ(state.depth, 0);

    view.handles = [](unsigned) { return false; };
    bool nested = true;
    view.interpret = [&] { nested = input.handleKeyDown(key(24, u"q")); };
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a")));
    EXPECT_FALSE(nested);
    EXPECT_EQ(state.depth, 0);
    view.handles = [](unsigned) { return true; };
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a")));
}

TEST_F(KeyPath, ShortcutsRunTheirCommandOnceAndLeaveQuitToThePlatform)
{
    constexpr unsigned kPref = makeCommandId('p', 'r', 'e', 'f');
    view.accelerators[0x41u | kModifierCommand] = int(kPref);
    view.accelerators[0x51u | kModifierCommand] = int(kCommandQuit);
    view.handles = [](unsigned code) { return code == kEventCommand; };

    // While the application target value is 0 no shortcut is taken.
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a", kCommandFlag)));
    AppTarget::instance() = 1;

    // A menu that hands the key back to another view does not run the
    // command a second time.
    FakeView other;
    DETAIL::KeyInputState otherState;
    KeyInput otherInput(other, otherState);
    other.accelerators = view.accelerators;
    bool again = false;
    view.menu = [&] {
        again = otherInput.handleKeyDown(key(38, u"a", kCommandFlag));
        return false;
    };
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a", kCommandFlag)));
    EXPECT_TRUE(again);
    EXPECT_EQ(std::count_if(view.sent.begin(), view.sent.end(), [](const auto& s) { return s.code == kEventCommand; }),
              1);
    EXPECT_EQ(view.sent.back().word, kPref);
    EXPECT_TRUE(other.sent.size() == 1 && other.sent[0].code == kEventKeyDown);

    // A repeat is offered to nothing: not the accelerators, not the
    // built-in keys.
    view.sent.clear();
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a", kCommandFlag, true)));
    EXPECT_EQ(view.sent.size(), 1u);
    EXPECT_TRUE(view.actions.empty());
    view.accelerators.clear();
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a", kCommandFlag)));

    EXPECT_FALSE(input.handleKeyDown(key(24, u"q", kCommandFlag)));
    EXPECT_TRUE(input.handleKeyDown(key(43, u"h", kCommandFlag | kShiftFlag)));
    EXPECT_TRUE(input.handleKeyDown(key(25, u"w", kCommandFlag)));
    EXPECT_FALSE(input.handleKeyDown(key(40, u"d", kCommandFlag)));
    EXPECT_EQ(view.actions, (std::vector<std::string>{"select all", "hide others", "close"}));
}

} // namespace
