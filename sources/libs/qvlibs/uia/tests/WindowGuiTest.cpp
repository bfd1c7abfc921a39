// A standalone window on a display of its own: its picture reaches the
// screen pixel for pixel, also while the launch goes on after the window is
// shown; clicks, double clicks, drags, the wheel and keys
// from xdotool arrive as the layer's events; resizing reports the new size;
// closing asks the window first and then takes it down.
#include "GuiSession.h"
#include "gui/TestPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::GuiSession;
using QV::UIA::Testing::kTestPictureHeight;
using QV::UIA::Testing::kTestPictureWidth;

std::vector<std::string> readLines(const fs::path& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct Content {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class WindowGuiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(session.ready()) << session.problem();
    }

    void startApp(const QV::TestSupport::Environment& settings = {})
    {
        QV::TestSupport::Environment environment = settings;
        environment.emplace_back("UIA_TEST_LOG", logFile().string());
        app = session.start({QV_UIA_WINDOW_APP}, environment, session.folder() / "app.log");
        window = session.waitForWindow("^UIA Picture Window$", 30s);
        ASSERT_FALSE(window.empty()) << app->output();
        ASSERT_TRUE(waitForLine("content ")) << app->output();
        std::istringstream in(lineStarting("content ").substr(8));
        in >> content.left >> content.top >> content.width >> content.height;
    }

    fs::path logFile() const { return session.folder() / "events.log"; }
    std::vector<std::string> lines() const { return readLines(logFile()); }
    std::string lineStarting(const std::string& prefix) const
    {
        for (const std::string& line : lines())
            if (line.rfind(prefix, 0) == 0)
                return line;
        return {};
    }
    bool waitForLine(const std::string& prefix, std::size_t after = 0) const
    {
        return QV::TestSupport::waitUntil(
            [&] {
                const std::vector<std::string> all = lines();
                return std::any_of(all.begin() + long(std::min(after, all.size())), all.end(),
                                   [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
            },
            15s);
    }
    // The lines from `after` on that start with one of the prefixes.
    std::vector<std::string> linesFrom(std::size_t after, std::initializer_list<const char*> prefixes) const
    {
        std::vector<std::string> result;
        const std::vector<std::string> all = lines();
        for (std::size_t i = after; i < all.size(); ++i)
            for (const char* prefix : prefixes)
                if (all[i].rfind(prefix, 0) == 0)
                    result.push_back(all[i]);
        return result;
    }
    // The event log and the application's output, for failure messages.
    std::string dump() const
    {
        std::string text = "events:\n";
        for (const std::string& line : lines())
            text += "  " + line + "\n";
        return text + "output:\n" + (app ? app->output() : std::string());
    }
    // Whether the screen shows the test picture in the content area, pixel
    // for pixel; the screenshot is kept in `png`.
    bool showsThePicture(const fs::path& png) const
    {
        if (!session.screenshot(png))
            return false;
        const fs::path raw = session.folder() / "content.rgb";
        const std::string crop = std::to_string(content.width) + "x" + std::to_string(content.height) + "+"
                                 + std::to_string(content.left) + "+" + std::to_string(content.top);
        const auto outcome = QV::TestSupport::runCommand({"convert", png.string(), "-crop", crop, "-depth", "8",
                                                          "rgb:" + raw.string()},
                                                         session.folder() / "convert.log", 10s);
        if (outcome.exitCode != 0)
            return false;
        std::ifstream in(raw, std::ios::binary);
        const std::vector<unsigned char> rgb(std::istreambuf_iterator<char>(in), {});
        if (rgb.size() != std::size_t(content.width) * std::size_t(content.height) * 3)
            return false;
        for (int y = 0; y < content.height; ++y)
            for (int x = 0; x < content.width; ++x) {
                const std::uint32_t p = QV::UIA::Testing::testPixel(x, y, kTestPictureWidth, kTestPictureHeight);
                const unsigned char* s = &rgb[(std::size_t(y) * std::size_t(content.width) + std::size_t(x)) * 3];
                if (s[0] != ((p >> 16) & 0xff) || s[1] != ((p >> 8) & 0xff) || s[2] != (p & 0xff))
                    return false;
            }
        return true;
    }
    bool xdotool(std::vector<std::string> words) const { return session.xdotool(std::move(words)).has_value(); }
    std::string at(int x, int y) const { return std::to_string(content.left + x) + " " + std::to_string(content.top + y); }
    void moveTo(int x, int y) const
    {
        ASSERT_TRUE(xdotool({"mousemove", std::to_string(content.left + x), std::to_string(content.top + y), "sleep",
                             "0.1"}));
    }

    GuiSession session;
    std::unique_ptr<ChildProcess> app;
    std::string window;
    Content content;
};

TEST_F(WindowGuiTest, ThePictureReachesTheScreenPixelForPixel)
{
    startApp();
    ASSERT_EQ(content.width, kTestPictureWidth);
    ASSERT_EQ(content.height, kTestPictureHeight);
    const fs::path png = QV::TestSupport::screenshotFile("uia-window", "picture");
    // The first paint may still be on its way to the server.
    EXPECT_TRUE(QV::TestSupport::waitUntil([&] { return showsThePicture(png); }, 15s, 200ms))
        << "the screen differs from the picture; see " << png << "\n"
        << app->output();
    // Drawn once: GNUstep's report, just after start, that it has read its
    // colours does not draw the window again. The key is answered after it.
    ASSERT_TRUE(xdotool({"key", "p"}));
    ASSERT_TRUE(waitForLine("pointer-moved")) << dump();
    EXPECT_EQ(linesFrom(0, {"paint"}).size(), 1u) << dump();
}

// The window is drawn before it is mapped, and X keeps nothing of that: the
// picture must reach the screen behind the map, not only once the run loop
// handles the server's expose event after the rest of the launch.
TEST_F(WindowGuiTest, ThePictureIsOnTheScreenWhileTheLaunchGoesOn)
{
    startApp({{"UIA_WINDOW_BUSY_AFTER_SHOW_MS", "60000"}});
    ASSERT_TRUE(waitForLine("busy")) << dump();
    const fs::path png = QV::TestSupport::screenshotFile("uia-window", "picture-during-launch");
    EXPECT_TRUE(QV::TestSupport::waitUntil([&] { return showsThePicture(png); }, 15s, 200ms))
        << "the screen differs from the picture while the launch goes on; see " << png << "\n"
        << app->output();
}

TEST_F(WindowGuiTest, InputResizeAndCloseArriveAsTheLayersEvents)
{
    startApp({{"UIA_WINDOW_REFUSE_FIRST_CLOSE", "1"}});

    // The window's first click, a tap (press and release at once) that also
    // makes it active, arrives whole and in order.
    moveTo(10, 20);
    std::size_t mark = lines().size();
    ASSERT_TRUE(xdotool({"click", "1"}));
    ASSERT_TRUE(waitForLine("button 1 2", mark)) << dump();
    EXPECT_EQ(linesFrom(mark, {"button"}), (std::vector<std::string>{"button 1 1 10 20", "button 1 2 10 20"}));
    ASSERT_TRUE(xdotool({"sleep", "0.6"}));

    // A click, then a double click, then a right click.
    mark = lines().size();
    ASSERT_TRUE(xdotool({"click", "1"}));
    ASSERT_TRUE(waitForLine("button 1 2", mark)) << dump();
    // Apart by more than the double-click time, so that the click counts
    // start again.
    ASSERT_TRUE(xdotool({"sleep", "0.6", "click", "--repeat", "2", "--delay", "80", "1"}));
    ASSERT_TRUE(waitForLine("button 1 3", mark)) << dump();
    ASSERT_TRUE(xdotool({"click", "3"}));
    ASSERT_TRUE(waitForLine("button 2 2", mark)) << dump();
    EXPECT_EQ(linesFrom(mark, {"button"}),
              (std::vector<std::string>{"button 1 1 10 20", "button 1 2 10 20", "button 1 1 10 20", "button 1 2 10 20",
                                        "button 1 3 10 20", "button 1 2 10 20", "button 2 1 10 20",
                                        "button 2 2 10 20"}));

    // Moving in and out of the window. GNUstep notices a tracking
    // rectangle's edge on motion, so the pointer moves on a little after it
    // came back.
    mark = lines().size();
    ASSERT_TRUE(xdotool({"mousemove", std::to_string(content.left + 30), std::to_string(content.top + 40), "sleep",
                         "0.2", "mousemove", std::to_string(content.left + content.width + 50),
                         std::to_string(content.top + 40), "sleep", "0.3"}));
    ASSERT_TRUE(waitForLine("leave", mark)) << dump();
    int step = 0;
    EXPECT_TRUE(QV::TestSupport::waitUntil(
        [&] {
            ++step;
            xdotool({"mousemove", std::to_string(content.left + 10 + step % 2), std::to_string(content.top + 20)});
            const std::vector<std::string> motion = linesFrom(mark, {"leave", "enter"});
            return std::find(std::find(motion.begin(), motion.end(), "leave"), motion.end(), "enter") != motion.end();
        },
        15s, 300ms))
        << dump();
    const std::vector<std::string> moves = linesFrom(mark, {"move"});
    EXPECT_NE(std::find(moves.begin(), moves.end(), "move 30 40"), moves.end()) << dump();
    moveTo(10, 20);

    // A drag from (10, 20) to (60, 70).
    mark = lines().size();
    ASSERT_TRUE(xdotool({"mousedown", "1", "sleep", "0.1", "mousemove", std::to_string(content.left + 35),
                         std::to_string(content.top + 45), "sleep", "0.1", "mousemove",
                         std::to_string(content.left + 60), std::to_string(content.top + 70), "sleep", "0.1",
                         "mouseup", "1"}));
    ASSERT_TRUE(waitForLine("button 1 2", mark)) << dump();
    const std::vector<std::string> drag = linesFrom(mark, {"button", "drag"});
    ASSERT_GE(drag.size(), 3u);
    EXPECT_EQ(drag.front(), "button 1 1 10 20");
    EXPECT_EQ(drag[drag.size() - 2], "drag 60 70");
    EXPECT_EQ(drag.back(), "button 1 2 60 70");

    // The wheel: one step down, one step up, on the vertical axis.
    mark = lines().size();
    ASSERT_TRUE(xdotool({"click", "5", "sleep", "0.1", "click", "4"}));
    ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return linesFrom(mark, {"wheel"}).size() >= 2; }, 15s));
    const std::vector<std::string> wheel = linesFrom(mark, {"wheel"});
    ASSERT_EQ(wheel.size(), 2u);
    EXPECT_EQ(wheel[0].rfind("wheel 1 -", 0), 0u) << wheel[0];
    EXPECT_EQ(wheel[1].rfind("wheel 1 ", 0), 0u) << wheel[1];
    EXPECT_NE(wheel[1], "wheel 1 0");
    EXPECT_NE(wheel[1].rfind("wheel 1 -", 0), 0u) << wheel[1];

    // Keys: a letter, Return and an arrow.
    mark = lines().size();
    ASSERT_TRUE(xdotool({"key", "a", "Return", "Left"}));
    ASSERT_TRUE(waitForLine("key-down 0x10", mark)) << dump();
    EXPECT_EQ(linesFrom(mark, {"key-down"}),
              (std::vector<std::string>{"key-down 0x41", "key-down 0x5", "key-down 0x10"}));

    // The cursor service puts the pointer where the layer's screen
    // coordinates say.
    mark = lines().size();
    ASSERT_TRUE(xdotool({"key", "p"}));
    ASSERT_TRUE(waitForLine("pointer-moved", mark)) << dump();
    const std::string expectedPointer = "x:" + std::to_string(content.left + 50) + " y:"
                                        + std::to_string(content.top + 60) + " ";
    EXPECT_TRUE(QV::TestSupport::waitUntil(
        [&] {
            const auto location = session.xdotool({"getmouselocation"});
            return location && location->rfind(expectedPointer, 0) == 0;
        },
        10s))
        << session.xdotool({"getmouselocation"}).value_or("no location");

    // Resizing from outside reports the new content size.
    mark = lines().size();
    ASSERT_TRUE(xdotool({"windowsize", window, "500", "350"}));
    // The frame is 500 x 350 with GNUstep's own title bar and border in it.
    const auto resizedTo = [&] {
        for (const std::string& line : linesFrom(mark, {"sized"})) {
            int width = 0;
            int height = 0;
            std::istringstream(line.substr(6)) >> width >> height;
            if (width > 480 && width <= 500 && height > 300 && height <= 350)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(QV::TestSupport::waitUntil(resizedTo, 15s)) << dump();
    const fs::path resized = QV::TestSupport::screenshotFile("uia-window", "resized");
    EXPECT_TRUE(session.screenshot(resized));

    // Resized from outside past its limits (200 x 150 at least), as no
    // window manager keeps it from, the window takes the nearest size within;
    // twice, the second time to the size it took back the first.
    for (const char* height : {"80", "40"}) {
        mark = lines().size();
        ASSERT_TRUE(xdotool({"windowsize", window, "100", height}));
        ASSERT_TRUE(QV::TestSupport::waitUntil(
            [&] {
                const std::vector<std::string> sized = linesFrom(mark, {"sized"});
                return sized.size() >= 2 && sized.back() == "sized 200 150";
            },
            15s))
            << dump();
    }

    // Full-screen mode asked for twice is entered once, with one size
    // event; the window grows over the screen as far as its size limits
    // (at most 700 x 500) let it.
    mark = lines().size();
    ASSERT_TRUE(xdotool({"key", "f"}));
    ASSERT_TRUE(waitForLine("full-screen on", mark)) << dump();
    const std::vector<std::string> full = linesFrom(mark, {"sized"});
    ASSERT_FALSE(full.empty()) << dump();
    EXPECT_EQ(full.back(), "sized 700 500") << dump();
    const fs::path fullScreen = QV::TestSupport::screenshotFile("uia-window", "full-screen");
    EXPECT_TRUE(session.screenshot(fullScreen));

    // The first close is refused and the window stays; the second closes it
    // once, and the application quits with its main window gone.
    mark = lines().size();
    ASSERT_TRUE(xdotool({"key", "q"}));
    ASSERT_TRUE(waitForLine("close-request refuse", mark)) << dump();
    EXPECT_FALSE(session.waitForWindow("^UIA Picture Window$", 5s).empty());
    ASSERT_TRUE(xdotool({"key", "q"}));
    ASSERT_TRUE(waitForLine("window-destroyed", mark)) << dump();
    const auto exitCode = app->waitForExit(30s);
    ASSERT_TRUE(exitCode.has_value()) << app->output();
    EXPECT_EQ(*exitCode, 0) << app->output();
    EXPECT_EQ(linesFrom(mark, {"close-request", "window-destroyed"}),
              (std::vector<std::string>{"close-request refuse", "close-request allow", "window-destroyed"}));
}

} // namespace
