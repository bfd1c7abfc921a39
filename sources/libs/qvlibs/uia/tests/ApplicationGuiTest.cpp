// The test application on a display of its own: it starts through the entry
// point and the delegate, shows its standalone window and quits, with its
// module taken down in order; a second instance refuses to start; a bare
// file argument reaches the application without a panel.
#include "GuiSession.h"

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

std::vector<std::string> readLines(const fs::path& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::ostringstream out;
    for (const std::string& line : lines)
        out << line << "\n";
    return out.str();
}

class ApplicationGuiTest : public ::testing::Test
{
protected:
    std::unique_ptr<ChildProcess> startApp(const std::string& name, const Environment& settings,
                                           std::vector<std::string> arguments = {})
    {
        Environment environment = settings;
        environment.emplace_back("UIA_TEST_LOG", (session.folder() / (name + ".steps")).string());
        const Environment report = QV::TestSupport::launchReporting(session.folder() / (name + ".launch"));
        environment.insert(environment.end(), report.begin(), report.end());
        arguments.insert(arguments.begin(), QV_UIA_TEST_APP);
        return session.start(arguments, environment, session.folder() / (name + ".log"));
    }
    std::vector<std::string> steps(const std::string& name) const
    {
        return readLines(session.folder() / (name + ".steps"));
    }
    bool launched(const std::string& name) const
    {
        return QV::TestSupport::launchReported(session.folder() / (name + ".launch")).has_value();
    }

    GuiSession session;
};

} // namespace

TEST_F(ApplicationGuiTest, StartsThroughTheDelegateAndQuitsThroughTerminateInOrder)
{
    ASSERT_TRUE(session.ready()) << session.problem();
    auto app = startApp("app", {{"UIA_TEST_QUIT", "terminate"}, {"UIA_TEST_QUIT_AFTER_MS", "1000"}});
    EXPECT_FALSE(session.waitForWindow("^UIA Test Window$", 30s).empty()) << app->output();
    const auto exitCode = app->waitForExit(30s);
    ASSERT_TRUE(exitCode.has_value()) << app->output();
    EXPECT_EQ(*exitCode, 0) << app->output();
    EXPECT_TRUE(launched("app"));
    EXPECT_EQ(steps("app"), (std::vector<std::string>{"module-init", "foundation-up", "platform-up", "app-init",
                                                      "version 1.2.3", "window-created", "window-shown",
                                                      // The saved state of the native window, before
                                                      // and after it was restored to another place.
                                                      "state 1 size 320x200 kind 3",
                                                      "state 1 at 40,50 size 300x180 kind 3",
                                                      "quit-by terminate", "quit-request", "window-destroyed",
                                                      "app-deinit", "platform-down", "foundation-down"}))
        << joined(steps("app")) << app->output();
}

TEST_F(ApplicationGuiTest, DestroyingOrClosingTheMainWindowQuits)
{
    ASSERT_TRUE(session.ready()) << session.problem();
    // The window goes first; the quit it posts then takes the module down
    // without asking again. Closing asks first, as the quit question.
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {"destroy-window", {"quit-by destroy-window", "window-destroyed", "app-deinit", "platform-down",
                            "foundation-down"}},
        {"close-window", {"quit-by close-window", "quit-request", "window-destroyed", "app-deinit",
                          "platform-down", "foundation-down"}}};
    for (const auto& [how, expected] : cases) {
        auto app = startApp(how, {{"UIA_TEST_QUIT", how}});
        const auto exitCode = app->waitForExit(30s);
        ASSERT_TRUE(exitCode.has_value()) << how << "\n" << app->output();
        EXPECT_EQ(*exitCode, 0) << app->output();
        const std::vector<std::string> lines = steps(how);
        const std::vector<std::string> tail(lines.end() - std::min(lines.size(), expected.size()), lines.end());
        EXPECT_EQ(tail, expected) << joined(lines);
    }
}

TEST_F(ApplicationGuiTest, OfTwoInstancesStartedTogetherExactlyOneRuns)
{
    ASSERT_TRUE(session.ready()) << session.problem();
    const Environment stayUp{{"UIA_TEST_QUIT", "none"}};
    auto first = startApp("first", stayUp);
    auto second = startApp("second", stayUp);
    ChildProcess* refused = nullptr;
    std::string refusedName, runningName;
    ASSERT_TRUE(QV::TestSupport::waitUntil(
        [&] {
            if (first->waitForExit(0s))
                refused = first.get(), refusedName = "first", runningName = "second";
            else if (second->waitForExit(0s))
                refused = second.get(), refusedName = "second", runningName = "first";
            return refused != nullptr;
        },
        60s))
        << "neither instance refused\n"
        << first->output() << second->output();
    EXPECT_EQ(refused->waitForExit(0s), 1) << "a refused start is a failure";
    const std::vector<std::string> refusedSteps = steps(refusedName);
    EXPECT_NE(std::find(refusedSteps.begin(), refusedSteps.end(), "conflict"), refusedSteps.end())
        << joined(refusedSteps);
    EXPECT_EQ(refusedSteps.back(), "foundation-down") << "a failed start takes down what it started";
    EXPECT_FALSE(launched(refusedName));

    ChildProcess* running = refused == first.get() ? second.get() : first.get();
    EXPECT_FALSE(session.waitForWindow("^UIA Test Window$", 30s).empty()) << running->output();
    EXPECT_FALSE(running->waitForExit(0s).has_value());
    const std::vector<std::string> runningSteps = steps(runningName);
    EXPECT_EQ(std::find(runningSteps.begin(), runningSteps.end(), "conflict"), runningSteps.end());
    running->stop(10s);
}

TEST_F(ApplicationGuiTest, ABareFileArgumentReachesTheApplicationWithoutAPanel)
{
    ASSERT_TRUE(session.ready()) << session.problem();
    const fs::path file = session.folder() / "Notes.txt";
    std::ofstream(file) << "notes\n";
    auto app = startApp("app", {{"UIA_TEST_QUIT", "terminate"}}, {file.string()});
    const auto exitCode = app->waitForExit(30s);
    ASSERT_TRUE(exitCode.has_value()) << "blocked, perhaps by a panel\n" << app->output();
    EXPECT_EQ(*exitCode, 0) << app->output();
    EXPECT_TRUE(launched("app"));
    const std::vector<std::string> lines = steps("app");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "open-file Notes"), lines.end()) << joined(lines);
}
