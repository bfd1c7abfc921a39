// The GUI test session itself: what every GUI test relies on. A GNUstep
// application started under a session reads the session's defaults (no
// complaint about decoration offsets, no floating icon), reports its launch,
// and leaves a plain screen that a screenshot records; two sessions side by
// side share nothing.
#include "GuiSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::TestSupport::GuiSession;

// The number of distinct colours in a picture, as ImageMagick counts them.
int colours(const fs::path& png, const fs::path& log)
{
    const auto outcome = QV::TestSupport::runCommand({"identify", "-format", "%k", png.string()}, log, 20s);
    return outcome.exitCode == 0 ? std::atoi(outcome.output.c_str()) : -1;
}

TEST(GuiSession, aGNUstepApplicationRunsQuietlyOnTheSessionsOwnDisplayAndDefaults)
{
    GuiSession first;
    GuiSession second;
    ASSERT_TRUE(first.ready()) << first.problem();
    ASSERT_TRUE(second.ready()) << second.problem();
    EXPECT_NE(first.display(), second.display());
    EXPECT_NE(first.folder(), second.folder());
    EXPECT_EQ(fs::status(first.folder()).permissions() & fs::perms::all, fs::perms::owner_all);

    const fs::path report = first.folder() / "launch";
    const std::int64_t before = QV::TestSupport::monotonicNanoseconds();
    auto app = first.start({QV_BARE_APP}, QV::TestSupport::launchReporting(report), first.folder() / "app.log");
    ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return QV::TestSupport::launchReported(report).has_value(); },
                                           30s))
        << "no launch report; application output:\n"
        << app->output();
    EXPECT_GT(QV::TestSupport::launchReported(report)->at, before);

    // Without the session's defaults GNUstep asks for decoration offsets
    // no window manager gives, and shows its application icon.
    EXPECT_EQ(app->output().find("Failed to determine offsets"), std::string::npos) << app->output();
    const fs::path shot = QV::TestSupport::screenshotFile("GuiSession", "bare-application");
    ASSERT_TRUE(first.screenshot(shot));
    EXPECT_EQ(colours(shot, first.folder() / "identify.log"), 1) << "something is on the screen: " << shot;
    EXPECT_TRUE(first.waitForWindow(".", 0s).empty()) << "a visible window";

    // GNUstep kept its defaults in the session, nowhere else.
    EXPECT_TRUE(fs::exists(first.defaultsFolder() / "NSGlobalDomain.plist"));

    // A window on the screen is reported as the first paint; an application
    // without one never paints.
    const fs::path windowReport = second.folder() / "launch";
    auto windowApp = second.start({QV_BARE_APP}, [&] {
        auto environment = QV::TestSupport::launchReporting(windowReport);
        environment.emplace_back("QV_BARE_WINDOW", "1");
        return environment;
    }(), second.folder() / "app.log");
    ASSERT_TRUE(QV::TestSupport::waitUntil(
        [&] {
            const auto reported = QV::TestSupport::launchReported(windowReport);
            return reported && reported->paintedAt != 0;
        },
        30s))
        << "no paint report; application output:\n"
        << windowApp->output();
    EXPECT_GT(QV::TestSupport::launchReported(windowReport)->paintedAt, before);
    EXPECT_FALSE(second.waitForWindow("Bare window", 0s).empty());
    EXPECT_EQ(QV::TestSupport::launchReported(report)->paintedAt, 0);
    windowApp->stop(10s);
    app->stop(10s);
}

} // namespace
