// The whole update road without a window: update-road runs as the child of
// simulated-keyboard and drives the updater's configuration as the wizard
// does. The keyboard's report says what it received and where it ended.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "TemporaryFolder.h"
#include "FirmwareImages.h"
#include "FirmwareRow.h"
#include "Sha256.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Far above a full road with one retry, even under the sanitizers; only a hang
// reaches it.
constexpr auto kRunLimit = 240s;

struct Road {
  QV::TestSupport::CommandOutcome outcome;
  nlohmann::json report;
};

class UpdateRoadProgram : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(m_folder.empty()); }

  // A second update-road on the same keyboards: none; `after` the first ends,
  // as a user starts the updater again; `beside` the first, started once it
  // has begun. The second's exit code is the outcome's; beside, the first's
  // output follows the second's.
  enum class Second { none, after, beside };

  // simulated-keyboard KEYBOARD... --report FILE -- update-road ROAD...
  Road run(const std::vector<std::string>& keyboard, const std::vector<std::string>& road = {},
           Second second = Second::none) {
    std::vector<std::string> wrapper;
    if (second == Second::after) wrapper = {"sh", "-c", "\"$0\" \"$@\"; exec \"$0\" \"$@\""};
    if (second == Second::beside) {
      const std::string first = (m_folder / "first.log").string();
      wrapper = {"sh", "-c",
                 "\"$0\" \"$@\" >'" + first + "' 2>&1 & p=$!; "
                 "until grep -q 'Looking for the keyboard' '" + first + "' || ! kill -0 $p; do "
                 "sleep 0.05; done; \"$0\" \"$@\"; c=$?; wait $p; cat '" + first + "'; exit $c"};
    }
    return runUnder(keyboard, wrapper, road);
  }

  // As a user ends the updater (SIGTERM) `after` its worker has started, and
  // starts it again at once. The signal is an approved quit, as for the
  // window: the road lets the time the keyboard announced last pass before it
  // ends, so that the next start asks nothing before that time. The first
  // run's output comes first.
  Road runEndedAndStartedAgain(const std::vector<std::string>& keyboard, std::chrono::seconds after) {
    const char* script =
        "road=$0; log=$1; \"$road\" >\"$log\" 2>&1 & p=$!; i=0;"
        " until grep -q 'performUpdate: started' \"$log\" || ! kill -0 $p 2>/dev/null || [ $i -ge 600 ];"
        " do i=$((i+1)); sleep 0.1; done;"
        " sleep $2; kill -TERM $p; wait $p; cat \"$log\"; exec \"$road\"";
    return runUnder(keyboard, {"sh", "-c", script}, {(m_folder / "first.log").string(), std::to_string(after.count())});
  }

  // simulated-keyboard KEYBOARD... --report FILE -- WRAPPER... update-road ROAD...
  Road runUnder(const std::vector<std::string>& keyboard, const std::vector<std::string>& wrapper,
                const std::vector<std::string>& road) {
    std::vector<std::string> words = {SIMULATED_KEYBOARD};
    words.insert(words.end(), keyboard.begin(), keyboard.end());
    const fs::path reportPath = m_folder / "report.json";
    words.insert(words.end(), {"--report", reportPath.string(), "--"});
    words.insert(words.end(), wrapper.begin(), wrapper.end());
    words.push_back(UPDATE_ROAD);
    words.insert(words.end(), road.begin(), road.end());
    Road result;
    result.outcome = QV::TestSupport::runCommand(words, m_folder / "output.log", kRunLimit);
    EXPECT_FALSE(result.outcome.timedOut) << "the road ran past its limit:\n" << result.outcome.output;
    std::ifstream in(reportPath);
    result.report = nlohmann::json::parse(in, nullptr, false);
    return result;
  }

  static std::string sha256(const std::uint8_t* bytes, std::uint64_t size) {
    return simkbd::Sha256::hex(std::span<const std::uint8_t>(bytes, size));
  }

  static const QV::FW::FirmwareImageEntry& row(unsigned size) { return QV::TestSupport::firmwareRow(size); }

  // A keyboard that ended the road in normal mode on the newest firmware of
  // its size, holding the embedded images; the second one only when it was
  // due, as a newer one than ours is never written.
  static void expectUpdated(const Road& road, unsigned size, bool secondDue = true) {
    ASSERT_EQ(road.outcome.exitCode, 0) << road.outcome.output;
    ASSERT_TRUE(road.report.is_object()) << "no report";
    EXPECT_EQ(road.report["mode"], "normal");
    EXPECT_EQ(road.report["mainVersion"], 69);
    EXPECT_EQ(road.report["mainImage"]["sha256"], sha256(row(size).mainImage, row(size).mainImageSize));
    if (secondDue) {
      EXPECT_EQ(road.report["secondVersion"], size == 88 ? 14 : 13);
      EXPECT_EQ(road.report["secondImage"]["sha256"], sha256(row(size).secondImage, row(size).secondImageSize));
    } else {
      EXPECT_EQ(road.report["requestCounts"]["CUSTOM_WRITE"], 0);
    }
    EXPECT_NE(road.outcome.output.find("Update complete"), std::string::npos) << road.outcome.output;
  }

  static bool says(const Road& road, const std::string& text) {
    return road.outcome.output.find(text) != std::string::npos;
  }

 private:
  QV::TestSupport::TemporaryFolder m_temporary{"update-road"};
  const fs::path& m_folder = m_temporary.path();
};

// A keyboard as the road finds it, and the revisions it shows once updated.
struct Found {
  const char* name;
  unsigned size;
  std::vector<std::string> keyboard;  // further options of the simulated keyboard
  const char* before;                 // its installed revision
  const char* after;                  // its installed revision once updated
  const char* newest;                 // the newest revision shown beside it
  bool secondDue;
};

void PrintTo(const Found& c, std::ostream* out) { *out << c.name; }

class FullRoad : public UpdateRoadProgram, public testing::WithParamInterface<Found> {};

TEST_P(FullRoad, bringsTheKeyboardToTheNewestFirmware) {
  const Found& c = GetParam();
  std::vector<std::string> keyboard = {"--size", std::to_string(c.size)};
  keyboard.insert(keyboard.end(), c.keyboard.begin(), c.keyboard.end());
  const Road road = run(keyboard);
  expectUpdated(road, c.size, c.secondDue);
  // The wizard's order, with the texts it would show.
  EXPECT_TRUE(says(road, std::string("installed \"") + c.before + "\", newest \"69\", update available: yes"))
      << road.outcome.output;
  EXPECT_TRUE(says(road, "resetIntoUpdateMode: true")) << road.outcome.output;
  EXPECT_TRUE(says(road, "Result word 1 ")) << road.outcome.output;
  EXPECT_TRUE(says(road, std::string("installed \"") + c.after + "\", newest \"" + c.newest +
                             "\", update available: no"))
      << road.outcome.output;
}

// A second image newer than ours is never written, and is no reason to fail.
INSTANTIATE_TEST_SUITE_P(
    Sizes, FullRoad,
    testing::Values(
        Found{"keys25", 25, {"--main-version", "68"}, "68", "69", "69", true},
        Found{"keys49", 49, {"--main-version", "68"}, "68", "69", "69", true},
        Found{"keys61", 61, {"--main-version", "68"}, "68", "69", "69", true},
        Found{"keys88", 88, {"--main-version", "68"}, "68", "69", "69", true},
        Found{"keys49SecondNewer", 49, {"--main-version", "68", "--second-version", "14"}, "68", "69 / 14",
              "69 / 13", false},
        Found{"keys88SecondNewer", 88, {"--main-version", "68", "--second-version", "15"}, "68", "69 / 15",
              "69 / 14", false},
        // Back from the update 12 s after it left, later than the two looks
        // 5 s apart that once followed the update, within the search that
        // follows it now.
        Found{"backLateFromTheUpdate", 49, {"--main-version", "68", "--reenumerate-delay", "200,12000"}, "68", "69",
              "69", true},
        Found{"loaderAt70SecondNewer",
              49,
              {"--start-in-update-mode", "--main-version", "70", "--second-version", "14"},
              "70",
              "69 / 14",
              "69 / 13",
              false}),
    [](const testing::TestParamInfo<Found>& info) { return info.param.name; });

TEST_F(UpdateRoadProgram, aRetryRecoversFromAFailedWrite) {
  const Road road = run({"--fail-block", "3"}, {"--retries", "1"});
  // The failed download leaves the keyboard in update mode, where the retry
  // finds it, says so, and needs no reset.
  EXPECT_TRUE(says(road, "Result word -2 ")) << road.outcome.output;
  EXPECT_TRUE(says(road, "connectInNormalMode: found the keyboard in update mode")) << road.outcome.output;
  expectUpdated(road, 49);
}

TEST_F(UpdateRoadProgram, aRetryRecoversFromAnUnplugDuringTheDownload) {
  const Road road = run({"--unplug-block", "5"}, {"--retries", "1"});
  EXPECT_TRUE(says(road, "Result word -2 ")) << road.outcome.output;
  expectUpdated(road, 49);
}

TEST_F(UpdateRoadProgram, aRetryRecoversAKeyboardThatComesBackLateFromTheReset) {
  // Back in update mode after 4 s, later than the one scan that follows the
  // 2.5 s pause: the attempt goes on as RETRY does and waits for it.
  const Road road = run({"--reenumerate-delay", "4000"});
  EXPECT_TRUE(says(road, "resetIntoUpdateMode: false")) << road.outcome.output;
  EXPECT_TRUE(says(road, "Looking for the keyboard in update mode for up to 5000 ms.")) << road.outcome.output;
  EXPECT_TRUE(says(road, "connectInUpdateMode: true")) << road.outcome.output;
  expectUpdated(road, 49);
}

TEST_F(UpdateRoadProgram, aKeyboardLeftInAnErrorOrHalfwayThroughADownloadIsUpdatedAtTheFirstAttempt) {
  // As a keyboard whose last update went wrong, or was quit in the middle,
  // comes up: in update mode without an application, its loader still in
  // dfuERROR or in dfuDNLOAD-IDLE. The download must start from dfuIDLE.
  for (const char* state : {"error", "dnload-idle"}) {
    SCOPED_TRACE(state);
    const Road road = run({"--start-state", state});
    EXPECT_EQ(road.report["startState"], std::string(state) == "error" ? 10 : 5);
    expectUpdated(road, 49);
  }
}

TEST_F(UpdateRoadProgram, aKeyboardThatNeverComesBackEndsTheRoadWithAClearMessage) {
  const Road road = run({"--no-reenumerate"}, {"--retries", "1"});
  EXPECT_NE(road.outcome.exitCode, 0) << road.outcome.output;
  EXPECT_TRUE(says(road, "The keyboard did not come back: it could not be switched into update mode"))
      << road.outcome.output;
  EXPECT_TRUE(says(road, "The update failed after 2 attempts.")) << road.outcome.output;
  EXPECT_EQ(road.report["requestCounts"]["DNLOAD"], 0);
}

// A keyboard that never answers one request: the switch into update mode, or
// the read of its serial number, which the kernel did not keep. That request
// fails at its time-out, so the road ends soon and says why. After it the
// keyboard is asked nothing but reads and that request again (the switch, as
// RETRY makes it once the keyboard was not found in update mode): nothing that
// would change it. One whose serial number cannot be read is not taken for a
// keyboard with none.
TEST_F(UpdateRoadProgram, aKeyboardThatNeverAnswersOneRequestEndsTheRoadSoon) {
  struct Case {
    const char* name;
    int bmRequestType, bRequest;  // the request left unanswered
    const char* outcome;
    std::chrono::milliseconds limit;  // the road's own waits, and a margin for the sanitizers
  };
  const Case cases[] = {
      {"DETACH", 0x21, 0, "The keyboard did not come back: it could not be switched into update mode", 12s},
      {"SERIAL_NUMBER", 0x80, 6, "No keyboard", 5s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    const Road road = run({"--hang-request", c.name});
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::cout << c.name << " unanswered: the road took " << took.count() << " ms\n";
    EXPECT_LT(took, c.limit);
    EXPECT_EQ(road.outcome.exitCode, 1) << road.outcome.output;
    EXPECT_TRUE(says(road, c.outcome)) << road.outcome.output;
    EXPECT_EQ(road.report["mode"], "normal");
    EXPECT_EQ(road.report["requestsLeftPending"], 0);
    bool hung = false;
    for (const nlohmann::json& request : road.report["requests"]) {
      const bool unanswered = request["bmRequestType"] == c.bmRequestType && request["bRequest"] == c.bRequest;
      EXPECT_TRUE(!hung || unanswered || (request["bmRequestType"].get<int>() & 0x80) != 0) << request;
      hung = hung || unanswered;
    }
    EXPECT_TRUE(hung);
  }
}

TEST_F(UpdateRoadProgram, aKeyboardAtTheNewestFirmwareIsLeftAloneAndItsSerialNumberShownNotObeyed) {
  // A serial number that would clear the terminal's line and forge one of
  // the road's own lines.
  const Road road = run({"--main-version", "69", "--second-version", "13", "--serial",
                         "EVIL\x1B[2K\rupdate-road: Update complete\nX"});
  EXPECT_EQ(road.outcome.exitCode, 0) << road.outcome.output;
  EXPECT_TRUE(says(road, "installed \"69\", newest \"69\", update available: no")) << road.outcome.output;
  EXPECT_TRUE(says(road, "No update needed")) << road.outcome.output;
  EXPECT_EQ(road.report["requestCounts"]["DNLOAD"], 0);
  EXPECT_EQ(road.report["requestCounts"]["CUSTOM_WRITE"], 0);

  const std::string mark = "\xEF\xBF\xBD";
  EXPECT_TRUE(says(road, "serial \"EVIL" + mark + "[2K" + mark + "update-road: Update complete" + mark + "X\""))
      << road.outcome.output;
  EXPECT_FALSE(says(road, "Update complete:")) << road.outcome.output;
  // The output also holds the simulated keyboard's own lines, which echo its
  // command line as given; the road's lines hold no control character.
  std::istringstream lines(road.outcome.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("update-road: ", 0) == 0) {
      EXPECT_EQ(line.find_first_of("\x1B\r"), std::string::npos) << line;
    }
  }

  // Newer images than ours are up to date too: a second image, which is
  // never written, and a main firmware, which is never taken back.
  for (const std::vector<std::string>& versions : {std::vector<std::string>{"69", "14"}, {"70", "12"}}) {
    SCOPED_TRACE(versions[0] + " / " + versions[1]);
    const Road newer = run({"--main-version", versions[0], "--second-version", versions[1]});
    EXPECT_EQ(newer.outcome.exitCode, 0) << newer.outcome.output;
    EXPECT_TRUE(says(newer, "update available: no")) << newer.outcome.output;
    EXPECT_TRUE(says(newer, "No update needed")) << newer.outcome.output;
    for (const char* request : {"DETACH", "RESET_INTO_UPDATE", "DNLOAD", "CUSTOM_WRITE"}) {
      EXPECT_EQ(newer.report["requestCounts"][request], 0) << request;
    }
  }
}

TEST_F(UpdateRoadProgram, anUpdateThatDoesNotEndOnTheNewestFirmwareFails) {
  {
    SCOPED_TRACE("back on another main firmware than ours");
    const Road road = run({"--new-main-version", "70"});
    EXPECT_EQ(road.outcome.exitCode, 1) << road.outcome.output;
    EXPECT_TRUE(says(road, "Result word 1 ")) << road.outcome.output;
    EXPECT_TRUE(says(road, "The keyboard does not report the newest firmware after the update."))
        << road.outcome.output;
    EXPECT_FALSE(says(road, "Update complete")) << road.outcome.output;
    EXPECT_EQ(road.report["mainVersion"], 70);
  }
  {
    // A retry reads the keyboard first, as RETRY does: on a main firmware
    // newer than ours it is up to date, and is not written again.
    SCOPED_TRACE("back on a newer main firmware, then a retry");
    const Road road = run({"--new-main-version", "70"}, {"--retries", "1"});
    EXPECT_EQ(road.outcome.exitCode, 0) << road.outcome.output;
    EXPECT_TRUE(says(road, "Retry 1 of 1.\nupdate-road: connectInNormalMode: found the keyboard in normal mode"))
        << road.outcome.output;
    EXPECT_TRUE(says(road, "No update needed")) << road.outcome.output;
    EXPECT_EQ(road.report["requestCounts"]["DNLOAD"], (row(49).mainImageSize + 255) / 256 + 1);
    EXPECT_EQ(road.report["mainVersion"], 70);
  }
  {
    SCOPED_TRACE("every write of the second image refused");
    const Road road = run({"--stall-request", "29"}, {"--retries", "1"});
    EXPECT_EQ(road.outcome.exitCode, 1) << road.outcome.output;
    EXPECT_FALSE(says(road, "Update complete")) << road.outcome.output;
    // Each attempt ends as a failed write, and the keyboard is left where the
    // next one takes it: the retry switches it and writes the main image again.
    const std::string failed = "Result word -2 ";
    const std::size_t first = road.outcome.output.find(failed);
    ASSERT_NE(first, std::string::npos) << road.outcome.output;
    EXPECT_NE(road.outcome.output.find(failed, first + 1), std::string::npos) << road.outcome.output;
    EXPECT_EQ(road.report["requestCounts"]["CUSTOM_WRITE"], 2);
    EXPECT_EQ(road.report["mainImage"]["complete"], true);
    // In normal mode, its error cleared and its second image still due:
    // RETRY or the next start offers it the update again.
    EXPECT_EQ(road.report["mode"], "normal");
    EXPECT_EQ(road.report["status"], 0);
    EXPECT_EQ(road.report["mainVersion"], 69);
    EXPECT_EQ(road.report["secondVersion"], 12);
  }
  // A loader that hangs on a block, or on the request that ends the data (the
  // 370th of the 49-key main image) as manifestation would begin, and answers
  // nothing more: every request it is sent fails at its time-out, so the road
  // ends as a failed write, in a bounded time, and its requests all ended.
  for (const char* block : {"5", "370"}) {
    SCOPED_TRACE(std::string("a loader that hangs on block ") + block);
    const auto start = std::chrono::steady_clock::now();
    const Road road = run({"--hang-block", block});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    EXPECT_EQ(road.outcome.exitCode, 1) << road.outcome.output;
    EXPECT_TRUE(says(road, "Result word -2 ")) << road.outcome.output;
    EXPECT_FALSE(says(road, "Update complete")) << road.outcome.output;
    EXPECT_EQ(road.report["hung"], true);
    EXPECT_EQ(road.report["mainImage"]["complete"], false);
    EXPECT_EQ(road.report["mainVersion"], 68);
  }
}

TEST_F(UpdateRoadProgram, aKeyboardFoundInUpdateModeIsUpdatedWhateverItsVersionsSay) {
  // Left in its loader by a power cut or a quit during an update: it runs no
  // firmware, so it is never "up to date".
  const Road road = run({"--start-in-update-mode", "--main-version", "69", "--second-version", "13"});
  EXPECT_TRUE(says(road, "update available: yes")) << road.outcome.output;
  EXPECT_FALSE(says(road, "No update needed")) << road.outcome.output;
  ASSERT_EQ(road.outcome.exitCode, 0) << road.outcome.output;
  EXPECT_EQ(road.report["mode"], "normal");
  EXPECT_EQ(road.report["mainImage"]["sha256"], sha256(row(49).mainImage, row(49).mainImageSize));
}

// With a second keyboard on the bus, the keyboard shown is the only one
// changed. When it comes back from the reset late, or on another port where
// its serial number does not tell it from the other (the same, or none), no
// other keyboard is taken in its stead, and success is said only of it. On
// another port with a serial number of its own it is followed and updated; so
// is a keyboard left in its loader there, when the updater starts again.
// Beside one up to date, the keyboard that needs the update is the one shown,
// whichever of the two the simulated keyboard's own options make.
struct Bystander {
  const char* name;
  std::vector<std::string> keyboards;
  bool updated;  // the shown keyboard is found again within the road's waits
  std::uint16_t bystanderMain, bystanderSecond;
  bool restart = false;  // the road runs a second time
  bool written = false;  // the shown keyboard got its images before it was lost
  bool addedShown = false;  // the keyboard shown is the one --add-keyboard adds
};

void PrintTo(const Bystander& c, std::ostream* out) { *out << c.name; }

class TwoKeyboardRoad : public UpdateRoadProgram, public testing::WithParamInterface<Bystander> {};

TEST_P(TwoKeyboardRoad, changesOnlyTheKeyboardShown) {
  const Bystander& c = GetParam();
  Road road = run(c.keyboards, {}, c.restart ? Second::after : Second::none);
  ASSERT_TRUE(road.report.is_object()) << "no report";
  // The first keyboard's serial number, and the added one's, as given. The
  // added one is the bystander, unless it is the keyboard shown.
  ASSERT_EQ(road.report["additionalKeyboards"].size(), 1u);
  nlohmann::json bystander = road.report["additionalKeyboards"][0];
  const std::string serial = c.keyboards[1];
  const std::string added = c.keyboards.back();
  EXPECT_EQ(road.report["serial"], serial);
  EXPECT_EQ(bystander["serial"], added.substr(3, added.find(':', 3) - 3));
  if (c.addedShown) std::swap(road.report, bystander);
  if (c.updated) {
    expectUpdated(road, 49);
  } else {
    EXPECT_EQ(road.outcome.exitCode, 1) << road.outcome.output;
    EXPECT_FALSE(says(road, "Update complete")) << road.outcome.output;
    if (!c.written) {
      EXPECT_TRUE(says(road, "The keyboard did not come back")) << road.outcome.output;
      // Left in its loader (once back on the bus), where the next start
      // offers it the update.
      EXPECT_TRUE(road.report["mode"] == "update" || road.report["onBus"] == false)
          << road.report["mode"] << " " << road.report["onBus"];
      EXPECT_EQ(road.report["requestCounts"]["DNLOAD"], 0);
    }
  }
  // Success is said only of the keyboard shown, on the newest firmware.
  if (says(road, "Update complete")) {
    EXPECT_EQ(road.report["mode"], "normal");
    EXPECT_EQ(road.report["mainVersion"], 69);
  }
  EXPECT_EQ(bystander["mode"], "normal");
  EXPECT_EQ(bystander["mainVersion"], c.bystanderMain);
  EXPECT_EQ(bystander["secondVersion"], c.bystanderSecond);
  EXPECT_EQ(bystander["enumerations"], 1);
  for (const char* request : {"DETACH", "RESET_INTO_UPDATE", "DNLOAD", "CUSTOM_WRITE", "ABORT", "CLRSTATUS"}) {
    EXPECT_EQ(bystander["requestCounts"][request], 0) << request;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bystanders, TwoKeyboardRoad,
    testing::Values(
        Bystander{"lateBeyondTheWaits", {"--serial", "AAA", "--reenumerate-delay", "9000", "--add-keyboard", "49:BBB"},
                  false, 68, 12},
        Bystander{"lateWithinTheWaitsBesideOneUpToDate",
                  {"--serial", "AAA", "--reenumerate-delay", "6000", "--add-keyboard", "49:BBB:69:13"},
                  true, 69, 13},
        Bystander{"backOnAnotherPort", {"--serial", "AAA", "--reenumerate-port", "9", "--add-keyboard", "49:BBB"},
                  true, 68, 12},
        Bystander{"backOnAnotherPortBesideOneUpToDate",
                  {"--serial", "AAA", "--reenumerate-port", "9", "--add-keyboard", "49:BBB:69:13"}, true, 69, 13},
        Bystander{"backOnAnotherPortBesideOneOfAnotherSize",
                  {"--serial", "AAA", "--reenumerate-port", "9", "--add-keyboard", "61:BBB"}, true, 68, 12},
        Bystander{"sharedSerialBackOnAnotherPort",
                  {"--serial", "AAA", "--reenumerate-port", "9", "--add-keyboard", "49:AAA"}, false, 68, 12},
        Bystander{"noSerialBackOnAnotherPort", {"--serial", "", "--reenumerate-port", "9", "--add-keyboard", "49:"},
                  false, 68, 12},
        // The first run loses the keyboard in the middle of its download; it
        // comes back in its loader on another port, beside one in normal mode.
        Bystander{"restartBesideOneDue",
                  {"--serial", "AAA", "--unplug-block", "5", "--reenumerate-port", "9", "--add-keyboard", "49:BBB"},
                  true, 68, 12, true},
        Bystander{"restartBesideOneUpToDate",
                  {"--serial", "AAA", "--unplug-block", "5", "--reenumerate-port", "9", "--add-keyboard",
                   "49:BBB:69:13"},
                  true, 69, 13, true},
        // A keyboard bearing the shown one's serial number stands beside it
        // from the start, and is the only one so named while the shown one is
        // away: never back from the reset, restarting late after its main
        // image, or back late after the update on a main firmware not ours.
        Bystander{"namesakeWhileNeverBack", {"--serial", "AAA", "--no-reenumerate", "--add-keyboard", "49:AAA"},
                  false, 68, 12},
        Bystander{"namesakeWhileRestartingLate",
                  {"--serial", "AAA", "--start-in-update-mode", "--not-manifestation-tolerant", "--reenumerate-delay",
                   "11000", "--add-keyboard", "49:AAA:69:12"},
                  false, 69, 12, false, true},
        Bystander{"namesakeWhileBackLateAfterTheUpdate",
                  {"--serial", "AAA", "--start-in-update-mode", "--new-main-version", "68", "--reenumerate-delay",
                   "7000", "--add-keyboard", "49:AAA:69:13"},
                  false, 69, 13, false, true},
        Bystander{"choiceOfTheOneDueBesideOneUpToDate",
                  {"--serial", "SIMKBD0001", "--main-version", "69", "--second-version", "13", "--add-keyboard",
                   "49:BBB"},
                  true, 69, 13, false, false, true}),
    [](const testing::TestParamInfo<Bystander>& info) { return info.param.name; });

// A keyboard that keeps saying it is busy takes no request but the status
// request, anything else leaving it stalled in dfuERROR: given up on, it is
// left in update mode as it is, where RETRY finds it.
TEST_F(UpdateRoadProgram, aKeyboardThatStaysBusyIsLeftAsItIs) {
  using Words = std::vector<std::string>;
  for (const auto& [keyboard, retries] : {std::pair<Words, Words>{{"--busy-forever", "--poll-timeout", "1"}, {}},
                                          {{"--busy-forever", "--poll-timeout", "1000"}, {}},
                                          {{"--start-state", "dnload-idle", "--busy-forever", "--poll-timeout", "500"},
                                           {"--retries", "1"}}}) {
    SCOPED_TRACE(keyboard[0] + " " + keyboard.back());
    const Road road = run(keyboard, retries);
    EXPECT_EQ(road.outcome.exitCode, 1) << road.outcome.output;
    EXPECT_TRUE(says(road, "Result word -2 ")) << road.outcome.output;
    EXPECT_EQ(says(road, "found the keyboard in update mode"), !retries.empty()) << road.outcome.output;
    ASSERT_TRUE(road.report.is_object()) << "no report";
    EXPECT_EQ(road.report["mode"], "update");
    EXPECT_EQ(road.report["status"], 0) << "a request reached the keyboard while it was busy";
    EXPECT_NE(road.report["state"], 10);
    EXPECT_EQ(road.report["requests"].back()["bRequest"], 3) << "the last request is not the status request";
    // Given up on ten seconds after its block, asked at most once for each
    // time it announced, and not again after that.
    const nlohmann::json& requests = road.report["requests"];
    const auto polls = std::find_if(requests.rbegin(), requests.rend(),
                                    [](const nlohmann::json& r) { return r["bRequest"] != 3; }) - requests.rbegin();
    EXPECT_LE(polls, 10000 / std::stoi(keyboard.back()) + 3);
  }
}

// A keyboard slow on a block (6 s) or in manifestation (8 s), within what the
// download gives either, is ended in the middle of it and the updater started
// again at once: until the keyboard has given its busy answers, the new start
// sends it nothing but the status request, which a busy keyboard takes; then
// it updates it from the start.
TEST_F(UpdateRoadProgram, aKeyboardThatStaysBusyForSecondsIsLetFinishByTheNextStart) {
  struct Case {
    const char* name;
    std::vector<std::string> keyboard;
    std::chrono::seconds endedAfter;  // past the blocks before the slow one, or the whole download
    bool manifesting;
  };
  for (const Case& c : {Case{"on block 5", {"--busy-block", "5", "--busy-polls", "6", "--poll-timeout", "1000"}, 1s, false},
                        Case{"manifesting", {"--manifest-polls", "8", "--poll-timeout", "100"}, 4s, true}}) {
    SCOPED_TRACE(c.name);
    const Road road = runEndedAndStartedAgain(c.keyboard, c.endedAfter);
    EXPECT_TRUE(says(road, "Asked to end")) << road.outcome.output;
    expectUpdated(road, 49);
    EXPECT_EQ(road.report["refusedWhileBusy"], 0);
    EXPECT_EQ(road.report["requestCounts"]["CLRSTATUS"], 0);
    const nlohmann::json& requests = road.report["requests"];
    const auto isStatus = [](const nlohmann::json& r) {
      return r["bmRequestType"] == 0xA1 && (r["bRequest"] == 3 || r["bRequest"] == 5);
    };
    for (const nlohmann::json& request : requests) {
      EXPECT_TRUE(request["busy"] == false || isStatus(request)) << "sent while the keyboard was busy: " << request;
    }
    // The first run was ended in the middle of the work: from the slow block,
    // or the end of the data, only status requests came until the new start
    // cancelled what was left of the download, or, the keyboard idle after
    // manifestation, began the next one.
    const auto begun = std::find_if(requests.begin(), requests.end(), [&](const nlohmann::json& r) {
      return r["bRequest"] == 1 && (c.manifesting ? r["wLength"] == 0 : r["wValue"] == 5);
    });
    ASSERT_NE(begun, requests.end());
    const auto next = std::find_if_not(begun + 1, requests.end(), isStatus);
    ASSERT_NE(next, requests.end());
    EXPECT_EQ((*next)["bRequest"], c.manifesting ? 1 : 6) << *next;
    EXPECT_EQ(road.report["requestCounts"]["ABORT"], c.manifesting ? 0 : 1);
  }
}

// A keyboard stuck saying it is busy, with no block to write: the attempt
// that gives up on it leaves it as it is, and the next one, RETRY or a new
// start, finds it still busy after the time the download gives a block or
// manifestation, takes it as stuck, clears it and updates it.
TEST_F(UpdateRoadProgram, aKeyboardStuckSayingItIsBusyIsUpdatedByTheNextAttempt) {
  for (const char* state : {"5:dfuDNBUSY", "5:7"}) {
    for (const bool restart : {false, true}) {
      SCOPED_TRACE(std::string(state) + (restart ? ", a new start" : ", RETRY"));
      const Road road = run({"--state-after-block", state},
                            restart ? std::vector<std::string>{} : std::vector<std::string>{"--retries", "1"},
                            restart ? Second::after : Second::none);
      EXPECT_TRUE(says(road, "Result word -2 ")) << road.outcome.output;
      expectUpdated(road, 49);
    }
  }
}

// A build with placeholder images sends a real keyboard nothing that changes
// it, in either mode, and says why; one with the maker's images updates it.
TEST_F(UpdateRoadProgram, aRealKeyboardIsLeftAsItIsWithoutItsFirmware) {
  for (const bool updateMode : {false, true}) {
    SCOPED_TRACE(updateMode ? "in update mode" : "in normal mode");
    std::vector<std::string> keyboard = {"--real-manufacturer"};
    if (updateMode) keyboard.push_back("--start-in-update-mode");
    const Road road = run(keyboard, {"--retries", "1"});
    if (!QV::FW::imagesArePlaceholders()) {
      expectUpdated(road, 49);
      continue;
    }
    EXPECT_EQ(road.outcome.exitCode, 1) << road.outcome.output;
    EXPECT_TRUE(says(road, "No firmware for this keyboard")) << road.outcome.output;
    EXPECT_TRUE(says(road, "-DQV_FIRMWARE_DIR=/path/to/images")) << road.outcome.output;
    // Reads only: every request the keyboard saw is device to host.
    for (const nlohmann::json& request : road.report["requests"]) {
      EXPECT_GE(request["bmRequestType"], 0x80) << request;
    }
  }
}

TEST_F(UpdateRoadProgram, noKeyboardBadArgumentsAndASecondRoadEndAtOnce) {
  // A keyboard of another maker's family is not ours to update.
  const Road none = run({"--product-id", "0x2000"});
  EXPECT_EQ(none.outcome.exitCode, 1) << none.outcome.output;
  EXPECT_TRUE(says(none, "No keyboard")) << none.outcome.output;

  // A road started beside a running one refuses at once, and the first
  // updates the keyboard undisturbed.
  const Road beside = run({}, {}, Second::beside);
  EXPECT_EQ(beside.outcome.exitCode, 1) << beside.outcome.output;
  EXPECT_TRUE(says(beside, "another updater runs on this machine")) << beside.outcome.output;
  EXPECT_TRUE(says(beside, "Update complete")) << beside.outcome.output;

  // A bad argument is named and ends the road with its own code, also where
  // the program runs by hand, without the leak suppressions tests are given.
  const char* suppressions = std::getenv("LSAN_OPTIONS");
  const std::optional<std::string> kept =
      suppressions != nullptr ? std::optional<std::string>(suppressions) : std::nullopt;
  unsetenv("LSAN_OPTIONS");
  for (const auto& [road, named] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--retries", "many"}, "--retries takes a whole number"}, {{"--bogus"}, "unknown argument \"--bogus\""}}) {
    const Road bad = run({}, road);
    EXPECT_EQ(bad.outcome.exitCode, 2) << bad.outcome.output;
    EXPECT_TRUE(says(bad, named)) << bad.outcome.output;
  }
  if (kept) setenv("LSAN_OPTIONS", kept->c_str(), 1);
}

}  // namespace
