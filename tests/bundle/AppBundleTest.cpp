// The application folder made by the build: the probe inside it, started by
// its full path from elsewhere, must find its own bundle, the info dictionary
// the build wrote and the resources it copied.
#include "ChildProcess.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::map<std::string, std::string> runProbe(const fs::path& log)
{
    const QV::TestSupport::CommandOutcome outcome = QV::TestSupport::runCommand({QV_BUNDLE_PROBE}, log, 30s);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    std::map<std::string, std::string> values;
    std::stringstream lines(outcome.output);
    for (std::string line; std::getline(lines, line);)
        if (const auto colon = line.find(": "); colon != std::string::npos)
            values.emplace(line.substr(0, colon), line.substr(colon + 2));
    return values;
}

TEST(AppBundle, theMainBundleIsTheApplicationFolderWithItsInfoAndResources)
{
    // Another working folder, so that nothing is found relative to it.
    QV::TestSupport::TemporaryFolder elsewhere("bundle");
    ASSERT_FALSE(elsewhere.path().empty());
    const fs::path before = fs::current_path();
    fs::current_path(elsewhere.path());
    auto values = runProbe(elsewhere.path() / "probe.log");
    fs::current_path(before);

    const fs::path folder = fs::path(QV_BUNDLE_PROBE).parent_path();
    EXPECT_EQ(folder.filename(), "Bundle Probe.app");
    EXPECT_EQ(values["path"], folder.string());
    EXPECT_EQ(values["identifier"], "com.example.qv.bundle-probe");
    EXPECT_EQ(values["name"], "Bundle Probe");
    EXPECT_EQ(values["executable"], "Bundle Probe");
    EXPECT_EQ(values["principal"], "NSApplication");
    // Characters that mean something in the property list arrive as given.
    EXPECT_EQ(values["version"], "2.4.1 <beta> & co");
    EXPECT_EQ(values["build"], "2.4.1 <beta> & co");

    // A folder resource keeps its name inside Resources; a file lands there.
    EXPECT_EQ(values["stylesheet"], (folder / "Resources" / "stylesheets" / "Probe.txt").string());
    EXPECT_EQ(values["note"], (folder / "Resources" / "Note.txt").string());
    EXPECT_EQ(values["missing"], "(none)");
}

} // namespace
