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
#include <string>
#include <vector>

namespace {

using namespace QV::UIA;
using DETAIL::KeyInput;
using DETAIL::Keys;
using DETAIL::PlatformKeyEvent;
using Lines = std::vector<std::string>;

constexpr unsigned long kShiftFlag = 1ul << 17;
constexpr unsigned long kCommandFlag = 1ul << 20;

// A layout given as the text of each keycode. Capitals as a locale writes
// them: "ß" becomes "SS".
class FakeLayout : public DETAIL::KeyboardLayout
{
public:
    explicit FakeLayout(std::map<unsigned, std::u16string> keys) : m_keys(std::move(keys)) {}
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

// PC keycodes: 24 Q, 29 Y, 38 A, 20 minus, 10 the digit 1, 34 [, 36 Return,
// 65 space.
const FakeLayout kUS({{24, u"q"}, {29, u"y"}, {38, u"a"}, {10, u"1"}, {36, u"\r"}, {65, u" "}});
const FakeLayout kGerman({{29, u"z"}, {20, u"ß"}, {10, u"1"}, {21, u"\u00b4"}, {34, u"ü"}, {47, u"ab"}, {48, u"\x7f"}});

PlatformKeyEvent key(unsigned keyCode, std::u16string characters, unsigned long flags = 0, bool repeat = false)
{
    return {keyCode, std::move(characters), flags, repeat};
}

unsigned lookUp(unsigned keyCode, unsigned* position = nullptr)
{
    unsigned scan = 0;
    const unsigned code = Keys::macOSToUIA(keyCode, scan);
    if (position)
        *position = scan;
    return code;
}

TEST(Keys, FixedAndPositionKeysStandUnderEveryLayoutWhileLayoutKeysFollowIt)
{
    unsigned position = 0;
    for (const FakeLayout* layout : {static_cast<const FakeLayout*>(nullptr), &kGerman}) {
        Keys::build(layout);
        EXPECT_EQ(lookUp(9, &position), 1u); // Escape
        EXPECT_EQ(position, 1u);
        EXPECT_EQ(lookUp(96), 0x1000Cu);                 // F12
        EXPECT_EQ(lookUp(10), unsigned('1'));            // the digit row, whatever the layout types
        EXPECT_EQ(lookUp(91, &position), 0x80002Cu);     // keypad decimal: the comma
        EXPECT_EQ(position, 0x80002Cu);
        EXPECT_EQ(lookUp(29, &position) != 0, layout != nullptr);
        EXPECT_EQ(position, unsigned('Y'));
        EXPECT_EQ(lookUp(48, &position), 0u); // DEL typed is no key
        EXPECT_EQ(position, unsigned('"'));
        EXPECT_EQ(lookUp(94, &position) + position, 0u); // the extra ISO key
        position = 7;
        EXPECT_EQ(lookUp(256, &position) + position, 0u);
        EXPECT_EQ(std::count_if(std::begin(Keys::s_VKeyToUIAScan), std::end(Keys::s_VKeyToUIAScan),
                                [](std::uint32_t v) { return v != 0; }),
                  53 + 38);
    }
    EXPECT_EQ(lookUp(29), unsigned('Z'));
    EXPECT_EQ(lookUp(20, &position), unsigned('S')); // the first unit of "SS"
    EXPECT_EQ(position, unsigned('-'));
    EXPECT_EQ(lookUp(34), 0xdcu);  // ü capitalised
    EXPECT_EQ(lookUp(21), 0xb4u);  // the acute dead key types its accent
    EXPECT_EQ(lookUp(47), 0u);     // two units name no key
    Keys::build(&kUS);
    EXPECT_EQ(lookUp(36), 5u); // Return is fixed; its text is no key
    EXPECT_EQ(lookUp(65), 0x20u);

    EXPECT_EQ(DETAIL::keysymCharacter(0xdf), U'ß');
    EXPECT_EQ(DETAIL::keysymCharacter(0x10020ac), U'€');
    EXPECT_EQ(DETAIL::keysymCharacter(0xfe52), U'^');
    for (unsigned long nothing : {0xff0dul, 0x100d800ul, 0x1200000ul, 0x1ful})
        EXPECT_EQ(DETAIL::keysymCharacter(nothing), 0u) << std::hex << nothing;
}

TEST(Keys, KeyEventsBecomeKeyWords)
{
    Keys::build(&kUS);
    unsigned position = 99;
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(38, u"a", kShiftFlag), &position), 0x41u | kModifierShift);
    EXPECT_EQ(position, 0x41u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(111, u"\uF700"), &position), 14u);
    EXPECT_EQ(position, 14u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(70, u"\uF707"), nullptr), 0x10004u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(23, u"\x19", kShiftFlag), nullptr), 3u | kModifierShift);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(22, u"\x7f"), nullptr), 2u);
    // A key the tables do not know is named by its printable character, but
    // a control character does not pass for a named key (10 is Home).
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(200, u"q"), &position), unsigned('Q'));
    EXPECT_EQ(position, 0u);
    for (const char16_t* nothing : {u"\n", u"\x01", u"é"})
        EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(200, nothing), nullptr), 0u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(300, u"q"), nullptr), 0u);
    EXPECT_EQ(KeyInput::convertKeyEventToUIA(key(38, u"ab", kCommandFlag), nullptr), kModifierCommand);
}

// A view that records what the key path sends as "CODE FIELD FIELD" lines
// and answers as told.
struct FakeView : DETAIL::KeyInputHost {
    bool impl = true;
    bool client = true;
    bool marked = false;
    bool kept = false;
    std::function<bool(unsigned)> handles = [](unsigned) { return false; };
    std::function<void()> interpret = [] {};
    std::function<bool()> menu = [] { return false; };
    std::map<std::uint32_t, int> accelerators;
    Lines sent;
    Lines actions;

    bool sendKeyEvent(unsigned code, EventData& data) override
    {
        char line[64];
        const auto& k = static_cast<KeyEventData&>(data);
        const auto& c = static_cast<KeyCommandEventData&>(data);
        if (code == kEventKeyDown || code == kEventKeyUp)
            std::snprintf(line, sizeof line, "%u %x %x%s", code, k.keyWord, k.positionKey,
                          code == kEventKeyDown && k.firstPress ? " first" : "");
        else if (code == kEventCommand)
            std::snprintf(line, sizeof line, "%u %x", code, static_cast<CommandEventData&>(data).commandId);
        else
            std::snprintf(line, sizeof line, "%u %x %x", code, c.command, c.extendSelection);
        sent.push_back(line);
        return handles(code);
    }
    bool hasWindowImpl() const override { return impl; }
    void keepCurrentEvent() override { kept = true; }
    void releaseCurrentEvent() override { kept = false; }
    bool isCurrentEvent() const override { return kept; }
    bool hasTextInputClient() const override { return client; }
    bool hasMarkedText() const override { return marked; }
    void interpretCurrentEvent() override { interpret(); }
    int acceleratorCommand(std::uint32_t keyWord) override { return accelerators[keyWord]; }
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

TEST_F(KeyPath, KeysBecomeKeyEventsAndKeysWithoutACodeGoOnUnsent)
{
    view.handles = [](unsigned code) { return code == kEventKeyDown; };
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a", kShiftFlag)));
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a", kShiftFlag, true)));
    EXPECT_FALSE(input.handleKeyUp(key(38, u"a")));
    EXPECT_FALSE(view.kept);
    // F13 gives neither a key nor a position key, with or without Shift.
    EXPECT_FALSE(input.handleKeyDown(key(191, u"\uF710")));
    EXPECT_FALSE(input.handleKeyUp(key(191, u"\uF710", kShiftFlag)));
    // Characters that name no key fall back to the keycode, without Shift.
    EXPECT_TRUE(input.handleKeyDown(key(10, u"", kShiftFlag)));
    input.flagsChanged(key(50, u"", kShiftFlag));
    EXPECT_FALSE(input.performKeyEquivalent(KeyInput::kFlagsChanged, key(50, u"")));
    EXPECT_EQ(view.sent, (Lines{"1100 10000041 41 first", "1100 10000041 41", "1101 41 41", "1100 31 31 first",
                                "1103 10000000 32", "1103 0 32"}));
}

TEST_F(KeyPath, TheInputSystemGetsWhatTheWindowLeavesAndCompositionsSkipTheKeyEvent)
{
    view.interpret = [&] { input.doCommand("moveLeftAndModifySelection:"); };
    view.handles = [](unsigned code) { return code == kEventKeyCommand; };
    EXPECT_TRUE(input.handleKeyDown(key(113, u"\uF702", kShiftFlag)));
    EXPECT_EQ(view.sent, (Lines{"1100 10000010 10 first", "1105 0 1"}));

    // During a composition only the input system sees the key; a text
    // result left from the key before does not count.
    view.sent.clear();
    view.marked = true;
    view.interpret = [] {};
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a")));
    // Without a text-input client an editing command is no key command.
    view.client = false;
    input.doCommand("deleteBackward:");
    EXPECT_TRUE(view.sent.empty());
    EXPECT_FALSE(state.textHandled);
}

TEST_F(KeyPath, TheDepthGuardComesDownAndKeysPassedOnDoNotComeBackTwice)
{
    // A detached view, a throwing handler and a nested key down each leave
    // the view able to take the next key.
    view.impl = false;
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a")));
    view.impl = true;
    view.handles = [](unsigned) -> bool { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(input.handleKeyDown(key(38, u"a")), std::runtime_error);
    view.handles = [](unsigned) { return false; };
    bool nested = true;
    view.interpret = [&] { nested = input.handleKeyDown(key(24, u"q")); };
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a")));
    EXPECT_FALSE(nested);
    EXPECT_EQ(state.depth, 0);

    // GNUstep offers a key as a key equivalent before its key down, and the
    // next responder offers it back as it came and with Command added: one
    // key down in all.
    view.interpret = [] {};
    view.sent.clear();
    std::vector<bool> offered;
    const auto passOn = [&] {
        offered.push_back(input.performKeyEquivalent(KeyInput::kKeyDown, key(36, u"\r")));
        offered.push_back(input.performKeyEquivalent(KeyInput::kKeyDown, key(36, u"\r", kCommandFlag)));
    };
    EXPECT_FALSE(input.performKeyEquivalent(KeyInput::kKeyDown, key(36, u"\r")));
    EXPECT_FALSE(input.keyDown(key(36, u"\r"), passOn));
    EXPECT_FALSE(input.keyDown(key(36, u"\r"), passOn));
    EXPECT_EQ(offered, std::vector<bool>(4, false));
    EXPECT_EQ(view.sent, (Lines{"1100 5 5 first", "1100 5 5 first"}));
    EXPECT_EQ(state.depth, 0);
}

TEST_F(KeyPath, ShortcutsRunTheirCommandOnceAndLeaveQuitToThePlatform)
{
    constexpr unsigned kPref = makeCommandId('p', 'r', 'e', 'f');
    view.accelerators[0x41u | kModifierCommand] = int(kPref);
    view.accelerators[0x51u | kModifierCommand] = int(kCommandQuit);
    view.handles = [](unsigned code) { return code == kEventCommand; };
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a", kCommandFlag))); // target value 0: no shortcuts
    AppTarget::instance() = 1;

    // A menu that hands the key back to another view does not run the
    // command a second time.
    FakeView other;
    DETAIL::KeyInputState otherState;
    KeyInput otherInput(other, otherState);
    other.accelerators = view.accelerators;
    view.menu = [&] { return !otherInput.handleKeyDown(key(38, u"a", kCommandFlag)); };
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a", kCommandFlag)));
    EXPECT_EQ(view.sent.back(), "1200 70726566");
    EXPECT_EQ(other.sent, Lines{"1100 20000041 41 first"});
    // A repeat is offered to nothing, not even the built-in keys.
    EXPECT_FALSE(input.handleKeyDown(key(38, u"a", kCommandFlag, true)));
    view.accelerators.erase(0x41u | kModifierCommand);
    EXPECT_TRUE(input.handleKeyDown(key(38, u"a", kCommandFlag)));
    EXPECT_FALSE(input.handleKeyDown(key(24, u"q", kCommandFlag)));
    EXPECT_TRUE(input.handleKeyDown(key(43, u"h", kCommandFlag | kShiftFlag)));
    EXPECT_TRUE(input.handleKeyDown(key(25, u"w", kCommandFlag)));
    EXPECT_FALSE(input.handleKeyDown(key(40, u"d", kCommandFlag)));
    EXPECT_EQ(view.actions, (Lines{"select all", "hide others", "close"}));
}

} // namespace
