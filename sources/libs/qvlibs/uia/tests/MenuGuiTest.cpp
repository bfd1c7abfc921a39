// The menus of a running application on a display of its own: the menu bar
// sits inside the window, an item chosen with the mouse or by its key
// equivalent (left Alt stands for Command) sends its command to the
// application, an item that validation disables sends nothing while one
// that nobody validates is enabled, and the application menu's Quit ends the
// application.
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
using QV::TestSupport::GuiSession;

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
    int centreX() const { return x + width / 2; }
    int centreY() const { return y + height / 2; }
    bool contains(const ScreenRect& other) const
    {
        return other.x >= x && other.y >= y && other.x + other.width <= x + width
               && other.y + other.height <= y + height;
    }
};

class MenuGuiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(session.ready()) << session.problem();
        app = session.start({QV_UIA_TEST_APP},
                            {{"UIA_TEST_LOG", steps.string()},
                             {"UIA_TEST_QUIT", "none"},
                             {"UIA_TEST_MENUS", "1"}},
                            session.folder() / "app.log");
        windowId = session.waitForWindow("^UIA Test Window$", 30s);
        ASSERT_FALSE(windowId.empty()) << app->output();
        // The application shows its window centred and then moves it to
        // 40,50; menus found before the move would be clicked where they
        // no longer are.
        ASSERT_TRUE(QV::TestSupport::waitUntil(
            [&] {
                const auto all = positions();
                const auto it = all.find("window");
                return it != all.end() && it->second.x == 40 && it->second.y == 50;
            },
            20s))
            << log();
    }

    std::vector<std::string> lines() const
    {
        std::ifstream in(steps);
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);)
            all.push_back(line);
        return all;
    }
    std::string log() const
    {
        std::ostringstream out;
        for (const std::string& line : lines())
            out << line << "\n";
        return out.str() + app->output();
    }
    long count(const std::string& line) const
    {
        const std::vector<std::string> all = lines();
        return std::count(all.begin(), all.end(), line);
    }
    bool waitForCount(const std::string& line, long wanted) const
    {
        return QV::TestSupport::waitUntil([&] { return count(line) >= wanted; }, 20s);
    }

    // The newest positions the application noted: "kind title" to rect.
    std::map<std::string, ScreenRect> positions() const
    {
        std::map<std::string, ScreenRect> newest, current;
        bool inside = false;
        for (const std::string& line : lines()) {
            if (line == "positions") {
                inside = true;
                current.clear();
            } else if (line == "end-positions") {
                inside = false;
                newest = current;
            } else if (const auto equals = line.find(" = "); inside && equals != std::string::npos) {
                ScreenRect& rect = current[line.substr(0, equals)];
                std::istringstream(line.substr(equals + 3)) >> rect.x >> rect.y >> rect.width >> rect.height;
            }
        }
        return newest;
    }
    // Waits until the newest positions name `what` and answers its rect.
    std::optional<ScreenRect> waitForPosition(const std::string& what) const
    {
        std::optional<ScreenRect> found;
        QV::TestSupport::waitUntil(
            [&] {
                const auto all = positions();
                const auto it = all.find(what);
                if (it != all.end())
                    found = it->second;
                return found.has_value();
            },
            20s);
        return found;
    }
    // Waits until the newest positions no longer name `what`.
    bool waitForGone(const std::string& what) const
    {
        return QV::TestSupport::waitUntil([&] { return !positions().count(what); }, 20s);
    }

    bool click(const ScreenRect& where) const
    {
        // A click right after the move lands on a menu only now and then.
        return session
            .xdotool({"mousemove", std::to_string(where.centreX()), std::to_string(where.centreY()), "sleep", "0.1",
                      "click", "1"})
            .has_value();
    }
    bool key(const std::string& keys) const { return session.xdotool({"key", keys}).has_value(); }

    GuiSession session;
    fs::path steps = session.folder() / "app.steps";
    std::unique_ptr<ChildProcess> app;
    std::string windowId;
};

} // namespace

TEST_F(MenuGuiTest, ItemsChosenByMouseOrKeySendTheirCommandUnlessDisabled)
{
    const auto test = waitForPosition("bar Test");
    ASSERT_TRUE(test) << log();

    // By mouse: the enabled item sends its command once.
    ASSERT_TRUE(click(*test));
    const auto hello = waitForPosition("item Say Hello");
    ASSERT_TRUE(hello) << log();
    ASSERT_TRUE(click(*hello));
    EXPECT_TRUE(waitForCount("command helo", 1)) << log();
    EXPECT_TRUE(waitForGone("item Say Hello")) << log();

    // The disabled item does nothing when clicked.
    ASSERT_TRUE(click(*test));
    const auto notNow = waitForPosition("item Not Now");
    ASSERT_TRUE(notNow) << log();
    // "Later" was inserted past the end of the menu and stands at its end.
    const auto later = waitForPosition("item Later");
    ASSERT_TRUE(later) << log();
    EXPECT_GT(later->y, notNow->y) << log();
    ASSERT_TRUE(click(*notNow));
    key("Escape");
    EXPECT_TRUE(waitForGone("item Not Now")) << log();

    // By key equivalent; the disabled item's comes first, so that its
    // command would have arrived by the time the enabled one's does. The
    // item inserted disabled that nobody validates is enabled.
    ASSERT_TRUE(key("alt+d"));
    ASSERT_TRUE(key("alt+e"));
    EXPECT_TRUE(waitForCount("command helo", 2)) << log();
    EXPECT_EQ(count("command nono"), 0) << log();
    ASSERT_TRUE(key("alt+l"));
    EXPECT_TRUE(waitForCount("command latr", 1)) << log();

    // The application menu's Quit, by its key equivalent, ends the
    // application through its quit request.
    ASSERT_TRUE(key("alt+q"));
    const auto exitCode = app->waitForExit(30s);
    ASSERT_TRUE(exitCode.has_value()) << log();
    EXPECT_EQ(*exitCode, 0) << log();
    EXPECT_EQ(count("command quit"), 1) << log();
    EXPECT_EQ(count("quit-request"), 1) << log();
}

TEST_F(MenuGuiTest, TheMenuBarSitsInTheWindowWithTheApplicationMenu)
{
    const auto window = waitForPosition("window");
    // The application menu goes by the application's name and is the bar's
    // first item: the platform adds no application item of its own.
    const auto apple = waitForPosition("bar UIA Test");
    ASSERT_TRUE(window && apple) << log();
    EXPECT_TRUE(window->contains(*apple)) << log();
    // The bar runs along the top of the window, below its title.
    EXPECT_LT(apple->y - window->y, window->height / 2) << log();
    for (const auto& [name, place] : positions()) {
        if (name.rfind("bar ", 0) == 0)
            EXPECT_GE(place.x, apple->x) << name << "\n" << log();
    }
    EXPECT_TRUE(session.screenshot(QV::TestSupport::screenshotFile("menus", "menu-bar")));
    ASSERT_TRUE(click(*apple));
    ASSERT_TRUE(waitForPosition("item Quit UIA Test")) << log();
    EXPECT_TRUE(session.screenshot(QV::TestSupport::screenshotFile("menus", "application-menu")));
    EXPECT_GE(count("menu-will-open"), 1) << log();

    // The preferences item was asked of the Test menu but stands after
    // About; the names follow the bundle's name.
    const std::vector<std::string> order{"item About UIA Test", "item Settings",  "item Services",
                                         "item Hide UIA Test",  "item Hide Others", "item Show All",
                                         "item Quit UIA Test"};
    const auto all = positions();
    int previous = -1;
    for (const std::string& name : order) {
        const auto it = all.find(name);
        ASSERT_NE(it, all.end()) << name << "\n" << log();
        // Each below the last, and the first below the bar.
        EXPECT_GT(it->second.y, std::max(previous, apple->y)) << name << "\n" << log();
        previous = it->second.y;
    }

    ASSERT_TRUE(click(all.at("item About UIA Test")));
    EXPECT_TRUE(waitForCount("command abou", 1)) << log();
    ASSERT_TRUE(key("alt+comma"));
    EXPECT_TRUE(waitForCount("command pref", 1)) << log();
}
