// The test application on a display of its own: a change of the X screen's
// size reaches it as a display change a second later, once per change, with
// the new geometry; file panels open where asked and hand back the name typed
// into them, or nothing when cancelled.
#include "GuiSession.h"

#include <QV/GP/FileName.h>

#include <boost/filesystem/path.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::Environment;
using QV::TestSupport::GuiSession;

std::vector<std::string> linesStartingWith(const fs::path& file, const std::string& prefix)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line.substr(prefix.size()));
    return lines;
}

struct DisplayChange {
    std::int64_t at = 0;
    std::vector<std::string> frames;
};

DisplayChange parseChange(const std::string& text)
{
    std::istringstream in(text);
    DisplayChange change;
    in >> change.at;
    for (std::string frame; in >> frame;)
        change.frames.push_back(frame);
    return change;
}

class PeripheralsGuiTest : public ::testing::Test
{
protected:
    std::unique_ptr<ChildProcess> startApp(const std::string& name, Environment environment)
    {
        environment.emplace_back("UIA_TEST_LOG", steps(name).string());
        return session.start({QV_UIA_TEST_APP}, environment, session.folder() / (name + ".log"));
    }
    fs::path steps(const std::string& name) const { return session.folder() / (name + ".steps"); }

    // Sets the X screen's size with xrandr, which exits 1 when it shrinks the
    // screen although the size changes; its exit code says nothing here.
    void resizeScreen(const std::string& size)
    {
        ChildProcess xrandr({"xrandr", "--fb", size}, session.environment(), session.folder() / "xrandr.log");
        ASSERT_TRUE(xrandr.waitForExit(QV::TestSupport::kToolRunLimit).has_value());
    }

    GuiSession session{GuiSession::Options{"1024x768x24", {}, true}};
};

} // namespace

TEST_F(PeripheralsGuiTest, AScreenChangeArrivesASecondLaterOncePerChangeWithTheNewGeometry)
{
    ASSERT_TRUE(session.ready()) << session.problem();
    auto app = startApp("displays", {{"UIA_TEST_QUIT", "none"}});
    ASSERT_FALSE(session.waitForWindow("^UIA Test Window$", 30s).empty()) << app->output();
    const auto changes = [&] { return linesStartingWith(steps("displays"), "displays-changed "); };

    const std::int64_t firstAt = QV::TestSupport::monotonicNanoseconds();
    resizeScreen("800x600");
    ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return !changes().empty(); }, 20s)) << app->output();
    const DisplayChange first = parseChange(changes().front());
    EXPECT_GE(first.at - firstAt, 900'000'000) << "about a second after the change";
    EXPECT_EQ(first.frames, std::vector<std::string>{"0,0,800,600"});

    // Two changes half a second apart: each keeps its own timer.
    const std::int64_t secondAt = QV::TestSupport::monotonicNanoseconds();
    resizeScreen("700x500");
    std::this_thread::sleep_for(500ms);
    resizeScreen("640x480");
    ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return changes().size() >= 3; }, 20s)) << app->output();
    const DisplayChange second = parseChange(changes()[1]);
    const DisplayChange third = parseChange(changes()[2]);
    EXPECT_GE(second.at - secondAt, 900'000'000);
    EXPECT_GE(third.at - second.at, 300'000'000);
    EXPECT_EQ(third.frames, std::vector<std::string>{"0,0,640,480"});
    app->stop(10s);
    EXPECT_EQ(changes().size(), 3u);
}

TEST_F(PeripheralsGuiTest, PanelsOpenWhereAskedAndGiveTheNameOrNothingWhenCancelled)
{
    ASSERT_TRUE(session.ready()) << session.problem();
    const fs::path folder = session.folder() / "Reports";
    fs::create_directories(folder);
    std::ofstream(folder / "summary.txt") << "summary\n";
    const auto colonForm = [](const fs::path& path) {
        return QV::GP::FileName(boost::filesystem::path(path.string())).getFull();
    };
    // Runs one panel in a fresh application, presses the keys into it and
    // answers what the application wrote of the outcome.
    const auto run = [&](const std::string& name, const Environment& settings,
                         const std::vector<std::vector<std::string>>& input) -> std::string {
        Environment environment = settings;
        environment.emplace_back("UIA_TEST_QUIT", "file-dialog");
        auto app = startApp(name, environment);
        const std::string panel = session.waitForWindow("^UIA Test Dialog$", 30s);
        if (panel.empty()) {
            ADD_FAILURE() << name << ": no panel\n" << app->output();
            return {};
        }
        EXPECT_TRUE(session.xdotool({"windowfocus", "--sync", panel})) << name;
        for (const auto& words : input)
            EXPECT_TRUE(session.xdotool(words)) << name;
        if (!app->waitForExit(30s).has_value()) {
            session.screenshot(QV::TestSupport::screenshotFile("peripherals", name));
            ADD_FAILURE() << name << ": the panel did not close\n" << app->output();
            return {};
        }
        const auto answers = linesStartingWith(steps(name), "file-dialog ");
        return answers.size() == 1 ? answers.front() : "no single answer";
    };

    // The open panel starts in the folder: the bare name typed is found there.
    EXPECT_EQ(run("open", {{"UIA_TEST_DIALOG", "open"}, {"UIA_TEST_DIALOG_AT", folder.string() + "/"}},
                  {{"type", "--delay", "20", "summary.txt"}, {"key", "Return"}}),
              "true " + colonForm(folder / "summary.txt"));
    // The save panel starts in the initial file's folder with its name filled
    // in; Return takes it as it stands.
    EXPECT_EQ(run("save", {{"UIA_TEST_DIALOG", "save"}, {"UIA_TEST_DIALOG_AT", (folder / "draft.txt").string()}},
                  {{"key", "Return"}}),
              "true " + colonForm(folder / "draft.txt"));
    EXPECT_EQ(run("folder", {{"UIA_TEST_DIALOG", "folder"}, {"UIA_TEST_DIALOG_AT", session.folder().string() + "/"}},
                  {{"type", "--delay", "20", "Reports"}, {"key", "Return"}, {"key", "Return"}}),
              "true " + colonForm(folder));
    EXPECT_EQ(run("cancel", {{"UIA_TEST_DIALOG", "open"}, {"UIA_TEST_DIALOG_AT", folder.string() + "/"}},
                  {{"key", "Escape"}}),
              "false");
}
