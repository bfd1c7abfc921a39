// Key translation on a display of its own: the same keys keep their position
// keys under a US and a German layout while their characters and key codes
// follow the layout. Each layout gets a probe process of its own, because
// the key tables are built once, at start.
#include "GuiSession.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::Clock;
using QV::TestSupport::firstNumber;
using QV::TestSupport::GuiSession;
using QV::TestSupport::waitUntil;

constexpr auto kProbeShown = 30s;
constexpr auto kKeyArrived = 15s;

struct Translated {
    std::string characters; // UTF-16 units in hex, each followed by a comma
    unsigned keyWord = 0;
    unsigned position = 0;
};

// The key downs the probe printed so far, by keycode.
std::map<unsigned, Translated> keyDowns(const std::string& output)
{
    std::map<unsigned, Translated> keys;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string kind;
        unsigned keyCode = 0;
        Translated key;
        if (words >> kind >> std::dec >> keyCode >> key.characters >> std::hex >> key.keyWord >> key.position
            && kind == "down")
            keys[keyCode] = key;
    }
    return keys;
}

class KeysOnDisplay : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << session.problem(); }

    // Sets the X server's layout, starts a probe under it and presses each
    // keycode once; what the probe made of them, by keycode.
    std::map<unsigned, Translated> pressUnder(const std::string& layout, const std::vector<unsigned>& keyCodes)
    {
        ChildProcess setLayout({"setxkbmap", "-display", session.display(), layout}, {},
                               session.folder() / ("setxkbmap-" + layout + ".log"));
        const auto set = setLayout.waitForExit(QV::TestSupport::kToolRunLimit);
        if (!set || *set != 0) {
            ADD_FAILURE() << "setxkbmap " << layout << " failed: " << setLayout.output();
            return {};
        }
        auto probe = session.start({QV_UIA_KEY_PROBE}, {}, session.folder() / ("probe-" + layout + ".log"));
        std::string window;
        const bool focused = waitUntil(
            [&] {
                if (probe->waitForExit(0s))
                    return true;
                if (window.empty())
                    window = firstNumber(session.xdotool({"search", "--onlyvisible", "--name", "^Key Probe$"})
                                             .value_or(""));
                const auto focus = session.xdotool({"getwindowfocus"});
                return !window.empty() && focus && firstNumber(*focus) == window
                       && probe->output().find("key-window") != std::string::npos;
            },
            kProbeShown, 50ms);
        if (!focused || probe->waitForExit(0s)) {
            ADD_FAILURE() << "the probe under " << layout << " did not get the keyboard:\n" << probe->output();
            return {};
        }
        for (unsigned keyCode : keyCodes) {
            // A press can still be lost while a loaded machine settles the
            // focus, so the key is pressed again until it arrives; what the
            // probe made of it is the same each time. xdotool takes a number
            // that names no keysym as a keycode (one-digit numbers name the
            // digits).
            const auto arrived = [&] { return keyDowns(probe->output()).count(keyCode) != 0; };
            const bool pressed = waitUntil(
                [&] {
                    if (!session.xdotool({"key", std::to_string(keyCode)}))
                        return false;
                    return waitUntil(arrived, 2s);
                },
                kKeyArrived);
            if (!pressed)
                ADD_FAILURE() << "keycode " << keyCode << " did not reach the probe under " << layout << ":\n"
                              << probe->output();
        }
        auto keys = keyDowns(probe->output());
        probe->stop(5s);
        return keys;
    }

    GuiSession session;
};

TEST_F(KeysOnDisplay, PositionKeysStayWhileCharactersFollowTheLayout)
{
    // 29 and 52 swap Y and Z between the two layouts; 34 is [ or Ü; the
    // digit row and Return name the same key everywhere.
    const std::vector<unsigned> keyCodes{29, 52, 34, 10, 36};
    const auto us = pressUnder("us", keyCodes);
    const auto de = pressUnder("de", keyCodes);
    ASSERT_EQ(us.size(), keyCodes.size());
    ASSERT_EQ(de.size(), keyCodes.size());

    for (unsigned keyCode : keyCodes)
        EXPECT_EQ(us.at(keyCode).position, de.at(keyCode).position) << "keycode " << keyCode;
    EXPECT_EQ(us.at(29).position, unsigned('Y'));
    EXPECT_EQ(us.at(52).position, unsigned('Z'));
    EXPECT_EQ(us.at(34).position, unsigned('['));

    EXPECT_EQ(us.at(29).characters, "79,");
    EXPECT_EQ(us.at(29).keyWord, unsigned('Y'));
    EXPECT_EQ(de.at(29).characters, "7a,");
    EXPECT_EQ(de.at(29).keyWord, unsigned('Z'));
    EXPECT_EQ(us.at(52).keyWord, unsigned('Z'));
    EXPECT_EQ(de.at(52).keyWord, unsigned('Y'));
    EXPECT_EQ(us.at(34).keyWord, unsigned('['));
    EXPECT_EQ(de.at(34).characters, "fc,");
    EXPECT_EQ(de.at(34).keyWord, 0xdcu);

    for (const auto* keys : {&us, &de}) {
        EXPECT_EQ(keys->at(10).keyWord, unsigned('1'));
        EXPECT_EQ(keys->at(36).keyWord, 5u);
        EXPECT_EQ(keys->at(36).position, 5u);
    }
}

} // namespace
