// A toolkit window on a display of its own: the bar, the bundle's icon, the
// label and the button reach the screen; hovering shows the button's hover
// look, and a click reaches the button's signal.
#include "GuiSession.h"

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

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

// Colours of the test application's window: the bar under everything and
// the button's normal and hover backgrounds.
constexpr Rgb kBar{0x2E, 0x31, 0x38};
constexpr Rgb kButtonNormal{0xE8, 0x80, 0x2A};
constexpr Rgb kButtonHover{0x34, 0x78, 0xD4};
constexpr Rgb kSwatch{0x20, 0xC0, 0x40};

bool near(const Rgb& a, const Rgb& b)
{
    return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2;
}

class ToolkitGuiTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << session.problem(); }

    fs::path logFile() const { return session.folder() / "toolkit.log"; }

    std::vector<std::string> lines() const
    {
        std::ifstream in(logFile());
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);)
            all.push_back(line);
        return all;
    }

    std::string lineStarting(const std::string& prefix) const
    {
        for (const std::string& line : lines())
            if (line.rfind(prefix, 0) == 0)
                return line;
        return {};
    }

    bool waitForLine(const std::string& prefix) const
    {
        return QV::TestSupport::waitUntil([&] { return !lineStarting(prefix).empty(); }, 15s);
    }

    std::string dump() const
    {
        std::string text = "log:\n";
        for (const std::string& line : lines())
            text += "  " + line + "\n";
        return text + "output:\n" + (app ? app->output() : std::string());
    }

    // The screen as raw RGB rows of the window's content, from a screenshot
    // kept at `png`.
    bool grab(const fs::path& png)
    {
        if (!session.screenshot(png))
            return false;
        const fs::path raw = session.folder() / "content.rgb";
        const std::string crop = std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(left)
                                 + "+" + std::to_string(top);
        const auto outcome = QV::TestSupport::runCommand(
            {"convert", png.string(), "-crop", crop, "-depth", "8", "rgb:" + raw.string()},
            session.folder() / "convert.log", 10s);
        if (outcome.exitCode != 0)
            return false;
        std::ifstream in(raw, std::ios::binary);
        rgb.assign(std::istreambuf_iterator<char>(in), {});
        return rgb.size() == std::size_t(width) * std::size_t(height) * 3;
    }

    Rgb at(int x, int y) const
    {
        const unsigned char* p = &rgb[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3];
        return {p[0], p[1], p[2]};
    }

    // Pixels inside the area that differ from the colour of its top-left
    // corner (the bar or the button under the ink).
    int inkIn(int x0, int y0, int x1, int y1) const
    {
        const Rgb under = at(x0, y0);
        int ink = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                ink += near(at(x, y), under) ? 0 : 1;
        return ink;
    }

    bool xdotool(std::vector<std::string> words) const { return session.xdotool(std::move(words)).has_value(); }

    GuiSession session;
    std::unique_ptr<ChildProcess> app;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

TEST_F(ToolkitGuiTest, TheWindowShowsItsWidgetsAndAClickReachesTheButtonsSignal)
{
    app = session.start({QV_QTK_WINDOW_APP}, {{"QTK_TEST_LOG", logFile().string()}}, session.folder() / "app.log");
    ASSERT_FALSE(session.waitForWindow("^QTK Toolkit Window$", 30s).empty()) << dump();
    ASSERT_TRUE(waitForLine("content ")) << dump();
    std::istringstream in(lineStarting("content ").substr(8));
    in >> left >> top >> width >> height;
    ASSERT_EQ(width, 320);
    ASSERT_EQ(height, 200);
    EXPECT_EQ(lineStarting("icon "), "icon 48 48") << "the icon from the bundle's pictures folder\n" << dump();

    const fs::path shown = QV::TestSupport::screenshotFile("qtk-window", "widgets");
    // The first paint may still be on its way to the server.
    ASSERT_TRUE(QV::TestSupport::waitUntil(
        [&] { return grab(shown) && near(at(5, 5), kBar) && near(at(104, 124), kButtonNormal); }, 15s))
        << dump();
    EXPECT_GT(inkIn(16, 16, 64, 64), 200) << "the icon";
    EXPECT_GT(inkIn(80, 24, 300, 56), 50) << "the label's text";
    EXPECT_EQ(inkIn(300, 0, 320, 120), 0) << "nothing beside the widgets";
    EXPECT_GT(inkIn(104, 124, 216, 156), 50) << "the button's caption";

    // The first click into the window makes it active; it lands beside the
    // widgets. Only the active window sees the mouse move.
    ASSERT_TRUE(xdotool({"mousemove", std::to_string(left + 20), std::to_string(top + 180), "sleep", "0.1", "click",
                         "1", "sleep", "0.3"}));

    // Hover: the tick repaints the button in its hover look.
    ASSERT_TRUE(xdotool({"mousemove", std::to_string(left + 160), std::to_string(top + 140), "sleep", "0.1"}));
    const fs::path hovered = QV::TestSupport::screenshotFile("qtk-window", "hover");
    EXPECT_TRUE(QV::TestSupport::waitUntil([&] { return grab(hovered) && near(at(104, 124), kButtonHover); }, 15s))
        << dump();

    ASSERT_TRUE(xdotool({"click", "1"}));
    EXPECT_TRUE(waitForLine("clicked ")) << dump();
    EXPECT_EQ(lineStarting("clicked "), "clicked update");

    // Another thread's repaint request reaches the window after it has
    // fallen idle.
    const fs::path swatch = QV::TestSupport::screenshotFile("qtk-window", "swatch");
    EXPECT_TRUE(QV::TestSupport::waitUntil([&] { return grab(swatch) && near(at(20, 110), kSwatch); }, 15s))
        << dump();

    // A click beside the button reaches nothing.
    ASSERT_TRUE(xdotool({"mousemove", std::to_string(left + 20), std::to_string(top + 180), "sleep", "0.1", "click",
                         "1", "sleep", "0.3"}));
    const auto all = lines();
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& l) { return l.rfind("clicked", 0) == 0; }),
              1);
}

} // namespace
