// The road's own decisions, against a configuration whose callbacks are
// scripted: the paths that a simulated keyboard does not reach on its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "FirmwareUpdaterConfig.h"
#include "LateKeyboardSearch.h"
#include "UpdateRoad.h"

namespace {

using namespace std::chrono_literals;

// Callbacks that log their calls and answer from scripts; an empty script
// answers true.
struct ScriptedEngine {
  std::vector<std::string> calls;
  std::deque<bool> normalMode, reset, updateMode;
  std::deque<int> results;  // the word each performUpdate stores; 0 leaves the worker running
  std::deque<int> versions{68};
  std::deque<int> seconds{13};  // the second image's revision; ours is 13
  std::deque<std::string> serials{"SN1"};
  bool updateRunning = false;

  static bool next(std::deque<bool>& script) {
    if (script.empty()) return true;
    const bool answer = script.front();
    script.pop_front();
    return answer;
  }

  void bind(QV::FirmwareUpdaterConfig& config) {
    config.connectInNormalMode = [this] { calls.push_back("normal"); return next(normalMode); };
    config.resetIntoUpdateMode = [this] { calls.push_back("reset"); return next(reset); };
    config.connectInUpdateMode = [this] { calls.push_back("update"); return next(updateMode); };
    config.performUpdate = [this](int& word) {
      calls.push_back("perform");
      word = results.empty() ? 1 : results.front();
      if (!results.empty()) results.pop_front();
      return true;
    };
    config.getDeviceInfo = [this](QV::QDV2::USBDeviceInfo& info, std::string& installed, std::string& newest,
                                  bool& available) {
      calls.push_back("info");
      info.version = std::uint16_t(versions.front());
      if (versions.size() > 1) versions.pop_front();
      info.serialNumber = serials.front();
      if (serials.size() > 1) serials.pop_front();
      const int second = seconds.front();
      if (seconds.size() > 1) seconds.pop_front();
      // The texts as the engine makes them: beside main 69 a second image
      // other than ours is shown.
      const bool showSecond = info.version == 69 && second != 13;
      installed = showSecond ? "69 / " + std::to_string(second) : std::to_string(info.version);
      newest = showSecond ? "69 / 13" : "69";
      available = info.version < 69 || (info.version == 69 && second < 13);
    };
    config.isUpdateRunning = [this] { return updateRunning; };
    config.applicationCloseRequest = [this] { calls.push_back("close"); };
    config.hasFirmwareForKeyboard = [] { return true; };
  }
};

struct RoadRun {
  QV::UpdateRoad::Outcome outcome;
  std::string output;
  std::chrono::steady_clock::duration took;  // by the road's clock, which its waits move on
};

RoadRun drive(ScriptedEngine& engine, unsigned retries = 0) {
  QV::FirmwareUpdaterConfig config;
  engine.bind(config);
  QV::UpdateRoad::Settings settings;
  settings.retries = retries;
  std::chrono::steady_clock::time_point clock;
  settings.now = [&clock] { return clock; };
  settings.sleep = [&clock](std::chrono::steady_clock::duration time) { clock += time; };
  std::ostringstream out;
  QV::UpdateRoad road(config, settings, out);
  const QV::UpdateRoad::Outcome outcome = road.run();
  road.quit();
  return {outcome, out.str(), clock - std::chrono::steady_clock::time_point()};
}

using Calls = std::vector<std::string>;

// A keyboard back late, from the switch or from the update, is looked for
// as the wizard looks for it, until its patience is over.
TEST(UpdateRoadLogic, aKeyboardBackLateIsLookedForAsTheWizardLooksForIt) {
  ScriptedEngine engine;
  engine.normalMode = {true, false, true};
  engine.versions = {68, 69};
  const RoadRun run = drive(engine);
  EXPECT_EQ(run.outcome, QV::UpdateRoad::Outcome::Updated) << run.output;
  EXPECT_EQ(engine.calls, (Calls{"normal", "info", "reset", "perform", "normal", "normal", "info"}));

  ScriptedEngine gone;
  gone.normalMode.assign(1000, false);
  gone.normalMode.front() = true;
  const RoadRun lost = drive(gone);
  EXPECT_EQ(lost.outcome, QV::UpdateRoad::Outcome::Failed);
  EXPECT_NE(lost.output.find("The keyboard did not come back after the update."), std::string::npos) << lost.output;
  EXPECT_GE(lost.took, QV::LateKeyboardSearch::kPatienceAfterUpdate);

  ScriptedEngine away;
  away.reset = {false};
  away.updateMode.assign(1000, false);
  const RoadRun asked = drive(away);
  EXPECT_GE(asked.took, QV::LateKeyboardSearch::kPatience);
  EXPECT_LT(asked.took, QV::LateKeyboardSearch::kPatience + 2 * QV::LateKeyboardSearch::kInterval);
  EXPECT_EQ(asked.outcome, QV::UpdateRoad::Outcome::Failed);
  EXPECT_NE(asked.output.find("The keyboard did not come back: it could not be switched into update mode."),
            std::string::npos)
      << asked.output;
}

// A retry is the wizard's RETRY: after a failure it reads the keyboard first
// and switches it only when an update is due, so that one found on a main
// firmware newer than ours is left as it is.
TEST(UpdateRoadLogic, aRetryDoesWhatRetryDoes) {
  ScriptedEngine engine;
  engine.reset = {false, true};
  engine.updateMode = {true};
  engine.results = {-2, 1};
  engine.versions = {68, 68, 69};
  const RoadRun run = drive(engine, 1);
  EXPECT_EQ(run.outcome, QV::UpdateRoad::Outcome::Updated) << run.output;
  EXPECT_EQ(engine.calls, (Calls{"normal", "info", "reset", "update", "perform", "normal", "info", "reset", "perform",
                                 "normal", "info"}));

  ScriptedEngine newer;
  newer.versions = {68, 70};
  const RoadRun left = drive(newer, 1);
  EXPECT_EQ(left.outcome, QV::UpdateRoad::Outcome::UpToDate) << left.output;
  EXPECT_EQ(std::count(newer.calls.begin(), newer.calls.end(), "perform"), 1) << left.output;
}

TEST(UpdateRoadLogic, anotherKeyboardFoundAfterTheUpdateIsAFailureNamedAndItsSerialShownNotObeyed) {
  // Another keyboard that reports the newest firmware says nothing of the
  // one updated: no success.
  ScriptedEngine engine;
  engine.serials = {"SN1", "SN2\x1B[2K\rupdate-road: Update complete\n"};
  engine.versions = {68, 69};
  const RoadRun run = drive(engine);
  EXPECT_EQ(run.outcome, QV::UpdateRoad::Outcome::Failed);
  const std::string mark = "\xEF\xBF\xBD";
  EXPECT_NE(run.output.find("The keyboard found after the update is not the one updated: serial \"SN2" + mark +
                            "[2K" + mark + "update-road: Update complete" + mark + "\" instead of \"SN1\"."),
            std::string::npos)
      << run.output;
  // Every line the road printed is one of its own.
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("update-road: ", 0), 0u) << line;
    EXPECT_EQ(line.find_first_of("\x1B\r"), std::string::npos) << line;
  }

  // The same keyboard after the update is not remarked upon.
  ScriptedEngine same;
  same.versions = {68, 69};
  EXPECT_EQ(drive(same).output.find("not the one updated"), std::string::npos);
}

TEST(UpdateRoadLogic, anUpdateThatNeverEndsFailsAndIsStoppedAtQuit) {
  ScriptedEngine engine;
  engine.results = {0};
  engine.updateRunning = true;
  const RoadRun run = drive(engine);
  EXPECT_EQ(run.outcome, QV::UpdateRoad::Outcome::Failed);
  EXPECT_NE(run.output.find("did not finish in time"), std::string::npos) << run.output;
  EXPECT_EQ(engine.calls.back(), "close");
}

TEST(UpdateRoadLogic, theKeyboardReadAfterTheUpdateDecidesItsOutcomeAsTheWizardDoes) {
  const struct {
    int main, second;  // after the update
    QV::UpdateRoad::Outcome outcome;
  } cases[] = {
      {68, 13, QV::UpdateRoad::Outcome::Failed},
      {70, 13, QV::UpdateRoad::Outcome::Failed},
      {69, 12, QV::UpdateRoad::Outcome::Failed},
      // A second image newer than ours is rightly not written.
      {69, 14, QV::UpdateRoad::Outcome::Updated},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.main) + " / " + std::to_string(c.second));
    ScriptedEngine engine;
    engine.versions = {68, c.main};
    engine.seconds = {c.second};
    const RoadRun run = drive(engine);
    EXPECT_EQ(run.outcome, c.outcome) << run.output;
  }
  EXPECT_EQ(QV::UpdateRoad::exitCode(QV::UpdateRoad::Outcome::Failed), 1);
}

}  // namespace
