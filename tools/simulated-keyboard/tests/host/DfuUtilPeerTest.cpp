// The simulated-keyboard program with real peers as its child: dfu-util must
// find the keyboard and download to it, and the report must show what it got.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <glib.h>
#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "TemporaryFolder.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr std::size_t kImageSize = 94'720;  // the 49-key main image's size: the keyboard believes no other
constexpr auto kRunLimit = 90s;

using Outcome = QV::TestSupport::CommandOutcome;

class SimulatedKeyboardProgram : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder.empty()); }

  // Runs simulated-keyboard with `arguments`.
  Outcome run(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {SIMULATED_KEYBOARD};
    words.insert(words.end(), arguments.begin(), arguments.end());
    Outcome result = QV::TestSupport::runCommand(words, folder / "output.log", kRunLimit);
    if (result.timedOut) ADD_FAILURE() << "simulated-keyboard ran past " << kRunLimit.count() << " s";
    return result;
  }

  nlohmann::json report() const {
    std::ifstream in(folder / "report.json");
    return nlohmann::json::parse(in, nullptr, false);
  }

  std::string reportPath() const { return (folder / "report.json").string(); }

  // dfu-util downloads an image whose bytes do not repeat with any block
  // size; the keyboard must have received it whole.
  void download(std::vector<std::string> options) {
    std::vector<std::uint8_t> bytes(kImageSize);
    std::uint32_t x = 0x2545F491;
    for (std::uint8_t& b : bytes) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b = static_cast<std::uint8_t>(x);
    }
    const fs::path image = folder / "image.bin";
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), kImageSize);
    std::unique_ptr<gchar, decltype(&g_free)> sha256(
        g_compute_checksum_for_data(G_CHECKSUM_SHA256, bytes.data(), bytes.size()), &g_free);

    options.insert(options.end(), {"--report", reportPath(), "--", "dfu-util", "-d", "17cc:1350,17cc:1352", "-D",
                                   image.string(), "-E", "1"});
    const Outcome result = run(options);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const nlohmann::json seen = report();
    ASSERT_TRUE(seen.is_object()) << result.output;
    EXPECT_EQ(seen["mainImage"], (nlohmann::json{{"size", kImageSize}, {"sha256", sha256.get()}, {"complete", true}}));
    EXPECT_EQ(seen["mainVersion"], 69);
  }

  QV::TestSupport::TemporaryFolder temporary{"simkbd-peer"};
  const fs::path& folder = temporary.path();
};

using DfuUtilPeer = SimulatedKeyboardProgram;

TEST_F(DfuUtilPeer, ListsEveryKeyboardAndReportsThem) {
  const Outcome result = run({"--add-keyboard", "88:SECOND", "--report", reportPath(), "--", "dfu-util", "-l"});
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("Found Runtime: [17cc:1350]"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("serial=\"SIMKBD0001\""), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("[17cc:1410]"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("simulated-keyboard: attached VANTA Keyboard 49 (17cc:1350, serial SIMKBD0001)"),
            std::string::npos);
  const nlohmann::json seen = report();
  ASSERT_TRUE(seen.is_object()) << result.output;
  EXPECT_EQ(seen["serial"], "SIMKBD0001");
  ASSERT_EQ(seen["additionalKeyboards"].size(), 1u);
  EXPECT_EQ(seen["additionalKeyboards"][0]["serial"], "SECOND");
}

TEST_F(DfuUtilPeer, DownloadsOnceTheKeyboardDetachedItself) { download({}); }

TEST_F(DfuUtilPeer, DownloadsAfterResettingAKeyboardThatWillNotDetach) {
  download({"--no-will-detach"});
  EXPECT_GE(report()["requestCounts"]["USB_RESET"], 1);
}

TEST_F(SimulatedKeyboardProgram, ExitsWithTheCommandsExitCode) {
  EXPECT_EQ(run({"--", "sh", "-c", "exit 3"}).exitCode, 3);
  EXPECT_EQ(run({"--", "sh", "-c", "kill -TERM $$"}).exitCode, 128 + SIGTERM);
  EXPECT_EQ(run({"--", "/nonexistent/command"}).exitCode, 127);
  const Outcome refused = run({"--size", "50", "--", "true"});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.output.find("usage:"), std::string::npos) << refused.output;
  // A report that cannot be written makes a successful command a failure.
  const Outcome unreported = run({"--report", (folder / "missing" / "report.json").string(), "--", "true"});
  EXPECT_EQ(unreported.exitCode, 1);
  EXPECT_NE(unreported.output.find("cannot write the report"), std::string::npos) << unreported.output;
}

TEST_F(SimulatedKeyboardProgram, ASignalWhileKeyboardsAttachEndsTheCommandAndRemovesTheTestBed) {
  // Many keyboards make the start long enough to be interrupted after the
  // test bed exists (the first "attached") and before the command runs.
  const fs::path testBeds = folder / "tmp";
  fs::create_directory(testBeds);
  std::string program = "'" + std::string(SIMULATED_KEYBOARD) + "'";
  for (int i = 0; i < 40; ++i) program += " --add-keyboard 49:K" + std::to_string(i);
  const std::string script = "export TMPDIR='" + testBeds.string() + "'; " + program +
                             " -- sleep 60 2>$0 & p=$!; i=0; until grep -q attached $0 || [ $i -ge 3000 ]; do "
                             "sleep 0.01; i=$((i+1)); done; kill -TERM $p; wait $p";
  const Outcome result = QV::TestSupport::runCommand({"sh", "-c", script, (folder / "program.log").string()},
                                                     folder / "sh.log", kRunLimit);
  // The command got the signal, and the program cleaned up after it.
  EXPECT_EQ(result.exitCode, 128 + SIGTERM) << result.output;
  EXPECT_TRUE(fs::is_empty(testBeds));
}

}  // namespace
