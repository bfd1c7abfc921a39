#include <QV/GP/CurrentDSOHandle.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr char kProbeVariable[] = "QV_BUNDLE_PROBE_OUTPUT";

TEST(Bundle, NoBundleOutsideAnApplicationFolder)
{
    if (std::getenv(kProbeVariable) != nullptr)
        GTEST_SKIP() << "running as the probe inside an application folder";
    EXPECT_EQ(QV::GP::resolveCurrentDSOHandle(), nullptr);
    EXPECT_EQ(QV::GP::getCurrentDSOHandle(), nullptr);
    EXPECT_EQ(QV::GP::getCurrentDSOResourcePath(), "");
    QV::GP::releaseCurrentDSOHandle();
}

// The test program copies itself into an application folder and runs the
// copy, which writes the resources folder it finds into a file.
TEST(Bundle, FoundFromInsideAnApplicationFolder)
{
    if (const char* output = std::getenv(kProbeVariable)) {
        std::ofstream(output) << QV::GP::getCurrentDSOResourcePath();
        EXPECT_NE(QV::GP::getCurrentDSOHandle(), nullptr);
        QV::GP::releaseCurrentDSOHandle();
        return;
    }
    const fs::path base = fs::temp_directory_path() / "bundle-probe";
    fs::remove_all(base);
    const fs::path app = base / "Probe.app";
    fs::create_directories(app / "Resources");
    fs::copy_file("/proc/self/exe", app / "probe");
    fs::permissions(app / "probe", fs::perms::owner_all);
    const fs::path output = base / "found.txt";

    const std::string command = std::string(kProbeVariable) + "=" + output.string() + " "
        + (app / "probe").string() + " --gtest_filter=Bundle.FoundFromInsideAnApplicationFolder >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(output);
    std::stringstream found;
    found << in.rdbuf();
    EXPECT_EQ(fs::path(found.str()), fs::canonical(app) / "Resources");
    fs::remove_all(base);
}

} // namespace
