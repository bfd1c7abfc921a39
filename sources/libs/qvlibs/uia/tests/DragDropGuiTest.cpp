// Drag and drop on a display of its own, driven with xdotool: the record of
// an in-process drag dropped in its own window, refused by another window
// and by another process that offers a forged record, and text dragged
// between windows.
#include "GuiSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::Environment;
using QV::TestSupport::GuiSession;

struct Content {
    int left = 0, top = 0, width = 0, height = 0;
};

class DragDropGuiTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << session.problem(); }

    // Starts an instance of the application and waits for its windows'
    // content areas.
    std::unique_ptr<ChildProcess> startApp(const std::string& name, Environment settings, int windows = 2)
    {
        settings.emplace_back("UIA_TEST_LOG", log(name).string());
        auto app = session.start({QV_UIA_DRAGDROP_APP}, settings, session.folder() / (name + ".out"));
        const bool shown = QV::TestSupport::waitUntil(
            [&] {
                readContents(name);
                return int(contents.size()) >= windows || app->waitForExit(0s);
            },
            60s);
        EXPECT_TRUE(shown) << app->output();
        return app;
    }

    fs::path log(const std::string& name) const { return session.folder() / (name + ".log"); }

    std::vector<std::string> lines(const std::string& name) const
    {
        std::ifstream in(log(name));
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);)
            if (line.rfind("content ", 0) != 0)
                out.push_back(line);
        return out;
    }

    void readContents(const std::string& name)
    {
        std::ifstream in(log(name));
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string word, window;
            Content c;
            if (words >> word >> window >> c.left >> c.top >> c.width >> c.height && word == "content")
                contents[window] = c;
        }
    }

    // Presses in the middle of `from`, moves in steps over to the middle of
    // `to` and releases there.
    void drag(const Content& from, const Content& to)
    {
        const int x0 = from.left + from.width / 2, y0 = from.top + from.height / 2;
        const int x1 = to.left + to.width / 2, y1 = to.top + to.height / 2;
        std::vector<std::string> words{"mousemove", std::to_string(x0), std::to_string(y0), "sleep", "0.3",
                                       "mousedown", "1",                "sleep",            "0.2"};
        for (int step = 1; step <= 6; ++step) {
            words.insert(words.end(), {"mousemove", std::to_string(x0 + (x1 - x0) * step / 6 + 3),
                                       std::to_string(y0 + (y1 - y0) * step / 6 + 3), "sleep", "0.2"});
        }
        // Still moving a little over the target, so that a destination in
        // another program has answered before the release.
        for (int step = 0; step < 3; ++step)
            words.insert(words.end(), {"mousemove", std::to_string(x1 + step), std::to_string(y1), "sleep", "0.3"});
        words.insert(words.end(), {"mouseup", "1"});
        ASSERT_TRUE(session.xdotool(words, 30s).has_value());
    }

    bool waitForLine(const std::string& name, const std::string& line)
    {
        return QV::TestSupport::waitUntil(
            [&] {
                const auto all = lines(name);
                return std::find(all.begin(), all.end(), line) != all.end();
            },
            30s);
    }

    static std::string joined(const std::vector<std::string>& all)
    {
        std::string out;
        for (const auto& line : all)
            out += line + "\n";
        return out;
    }

    GuiSession session;
    std::map<std::string, Content> contents;
};

TEST_F(DragDropGuiTest, InternalRecordIsDroppedInItsOwnWindowOnly)
{
    auto app = startApp("internal", {{"UIA_DRAG", "internal"}});
    ASSERT_EQ(contents.size(), 2u) << app->output();
    Content& one = contents["One"];
    Content inside = one;
    inside.left += 50; // a drop a little to the right, still inside
    drag(one, inside);
    ASSERT_TRUE(waitForLine("internal", "finished One 1")) << joined(lines("internal")) << app->output();
    EXPECT_EQ(lines("internal"),
              (std::vector<std::string>{"request One internal", "drop One 1 ", "leave One", "finished One 1"}))
        << app->output();

    // Over the other window the record is refused without a request.
    drag(one, contents["Two"]);
    ASSERT_TRUE(waitForLine("internal", "finished One 64")) << joined(lines("internal")) << app->output();
    const auto all = lines("internal");
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& l) { return l.find(" Two") != std::string::npos; }),
              0)
        << joined(all);
}

TEST_F(DragDropGuiTest, TextIsDroppedInTheOtherWindow)
{
    auto app = startApp("text", {{"UIA_DRAG", "text"}});
    ASSERT_EQ(contents.size(), 2u) << app->output();
    drag(contents["One"], contents["Two"]);
    // A text drag names no receiver for its end.
    ASSERT_TRUE(waitForLine("text", "leave Two")) << joined(lines("text")) << app->output();
    const auto all = lines("text");
    EXPECT_NE(std::find(all.begin(), all.end(), "request Two text"), all.end()) << joined(all);
    EXPECT_NE(std::find(all.begin(), all.end(), "drop Two 1 dragged text ü"), all.end()) << joined(all);
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& l) { return l.rfind("finished", 0) == 0; }),
              0)
        << joined(all);
}

// Another program that learnt the internal type's name and even the address
// of a record offers that type: the drag is refused unseen, while its text
// drags are taken.
TEST_F(DragDropGuiTest, ForgedRecordFromAnotherProcessIsRefused)
{
    const fs::path typeFile = session.folder() / "type";
    auto target = startApp("target", {{"UIA_LEFT", "300"}, {"UIA_TYPE_FILE", typeFile.string()}});
    ASSERT_EQ(contents.size(), 2u) << target->output();
    const Content targetWindow = contents["One"];
    contents.clear();
    auto forger = startApp("forger",
                           {{"UIA_LEFT", "40"}, {"UIA_WINDOWS", "1"}, {"UIA_DRAG", "text,forge"},
                            {"UIA_FORGE_FROM", typeFile.string()}},
                           1);
    ASSERT_EQ(contents.size(), 1u) << forger->output();

    drag(contents["One"], targetWindow);
    ASSERT_TRUE(waitForLine("target", "drop One 1 dragged text ü")) << joined(lines("target")) << target->output();
    ASSERT_TRUE(waitForLine("target", "leave One")) << joined(lines("target"));

    drag(contents["One"], targetWindow);
    ASSERT_TRUE(waitForLine("forger", "finished One 64")) << joined(lines("forger")) << forger->output();
    // The target saw the text drag (its pointer may cross the window's edge
    // more than once) and nothing of the forged one.
    const auto seen = lines("target");
    for (const std::string& line : seen)
        EXPECT_TRUE(line == "request One text" || line == "leave One" || line == "drop One 1 dragged text ü")
            << joined(seen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "drop One 1 dragged text ü"), 1) << joined(seen);
    EXPECT_EQ(seen.back(), "leave One") << joined(seen);
}

} // namespace
