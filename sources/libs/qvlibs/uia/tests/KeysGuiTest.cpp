// Key translation through the platform view on a display of its own: the
// same keys keep their position keys under a US and a German layout while
// their key codes and the text they type follow the layout. Each layout gets
// an application of its own, because the key tables are built once, as the
// library starts.
#include "GuiSession.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::firstNumber;
using QV::TestSupport::GuiSession;
using QV::TestSupport::waitUntil;

constexpr auto kWindowShown = 30s;
constexpr auto kKeyArrived = 15s;

struct Translated {
    std::string keyDown; // "0xWORD 0xPOS"
    std::string keyUp;
    std::string text; // empty when the key typed none
    int keyDownCount = 0;
    std::string lines; // everything printed for the key, for failure messages
};

// The lines the application printed, without the platform's own messages.
std::vector<std::string> appLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        for (const char* prefix : {"focus", "key-down ", "key-up ", "text "})
            if (line.rfind(prefix, 0) == 0)
                lines.push_back(line);
    return lines;
}

std::string hexPair(unsigned keyWord, unsigned position)
{
    std::ostringstream out;
    out << std::hex << "0x" << keyWord << " 0x" << position;
    return out.str();
}

class KeysOnDisplay : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << session.problem(); }

    // Sets the X server's layout, starts the application under it and
    // presses each keycode; what the view made of them, by keycode.
    std::map<unsigned, Translated> pressUnder(const std::string& layout, const std::vector<unsigned>& keyCodes)
    {
        ChildProcess setLayout({"setxkbmap", "-display", session.display(), layout}, {},
                               session.folder() / ("setxkbmap-" + layout + ".log"));
        const auto set = setLayout.waitForExit(QV::TestSupport::kToolRunLimit);
        if (!set || *set != 0) {
            ADD_FAILURE() << "setxkbmap " << layout << " failed: " << setLayout.output();
            return {};
        }
        auto app = session.start({QV_UIA_KEY_APP}, {}, session.folder() / ("app-" + layout + ".log"));
        std::string window;
        const bool focused = waitUntil(
            [&] {
                if (app->waitForExit(0s))
                    return true;
                if (window.empty())
                    window = firstNumber(
                        session.xdotool({"search", "--onlyvisible", "--name", "^UIA Key Window$"}).value_or(""));
                const auto focus = session.xdotool({"getwindowfocus"});
                const auto lines = appLines(app->output());
                return !window.empty() && focus && firstNumber(*focus) == window && !lines.empty()
                       && lines.front() == "focus";
            },
            kWindowShown, 50ms);
        if (!focused || app->waitForExit(0s)) {
            ADD_FAILURE() << "the application under " << layout << " did not get the keyboard:\n" << app->output();
            return {};
        }

        std::map<unsigned, Translated> keys;
        for (unsigned keyCode : keyCodes) {
            // A press can still be lost while a loaded machine settles the
            // focus, so the key is pressed again until its key up arrives.
            // xdotool takes a number that names no keysym as a keycode
            // (one-digit numbers name the digits).
            const std::size_t mark = appLines(app->output()).size();
            const auto released = [&] {
                const auto lines = appLines(app->output());
                for (std::size_t i = mark; i < lines.size(); ++i)
                    if (lines[i].rfind("key-up ", 0) == 0)
                        return true;
                return false;
            };
            const bool pressed = waitUntil(
                [&] { return session.xdotool({"key", std::to_string(keyCode)}) && waitUntil(released, 2s); },
                kKeyArrived);
            if (!pressed) {
                ADD_FAILURE() << "keycode " << keyCode << " did not reach the window under " << layout << ":\n"
                              << app->output();
                continue;
            }
            const auto lines = appLines(app->output());
            Translated& key = keys[keyCode];
            for (std::size_t i = mark; i < lines.size() && key.keyUp.empty(); ++i) {
                key.lines += lines[i] + "\n";
                if (lines[i].rfind("key-down ", 0) == 0) {
                    key.keyDown = lines[i].substr(9);
                    ++key.keyDownCount;
                }
                else if (lines[i].rfind("text ", 0) == 0)
                    key.text = lines[i].substr(5);
                else if (lines[i].rfind("key-up ", 0) == 0)
                    key.keyUp = lines[i].substr(7);
            }
        }
        app->stop(5s);
        return keys;
    }

    GuiSession session;
};

TEST_F(KeysOnDisplay, PositionKeysStayWhileKeyCodesAndTextFollowTheLayout)
{
    // 29 and 52 swap Y and Z between the two layouts; 34 is [ or ü; the
    // digit row and Return name the same key everywhere.
    const std::vector<unsigned> keyCodes{29, 52, 34, 10, 36};
    const auto us = pressUnder("us", keyCodes);
    const auto de = pressUnder("de", keyCodes);
    ASSERT_EQ(us.size(), keyCodes.size());
    ASSERT_EQ(de.size(), keyCodes.size());

    EXPECT_EQ(us.at(29).keyDown, hexPair('Y', 'Y'));
    EXPECT_EQ(de.at(29).keyDown, hexPair('Z', 'Y'));
    EXPECT_EQ(us.at(52).keyDown, hexPair('Z', 'Z'));
    EXPECT_EQ(de.at(52).keyDown, hexPair('Y', 'Z'));
    EXPECT_EQ(us.at(34).keyDown, hexPair('[', '['));
    EXPECT_EQ(de.at(34).keyDown, hexPair(0xdc, '['));
    EXPECT_EQ(us.at(29).text, "y");
    EXPECT_EQ(de.at(29).text, "z");
    EXPECT_EQ(de.at(34).text, "\xc3\xbc");
    for (const auto* keys : {&us, &de}) {
        EXPECT_EQ(keys->at(10).keyDown, hexPair('1', '1'));
        EXPECT_EQ(keys->at(36).keyDown, hexPair(5, 5)) << keys->at(36).lines;
        // One key down per press, also for a key nobody took (Return),
        // which the platform offers back to the view.
        for (const auto& [keyCode, key] : *keys) {
            EXPECT_EQ(key.keyDownCount, 1) << "keycode " << keyCode << ":\n" << key.lines;
            EXPECT_EQ(key.keyUp, key.keyDown) << "keycode " << keyCode << ":\n" << key.lines;
        }
    }
}

} // namespace
