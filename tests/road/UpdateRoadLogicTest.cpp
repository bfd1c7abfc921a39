// The road's own decisions, against a configuration whose callbacks are
// scripted: the paths that a simulated keyboard does not reach on its own.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "FirmwareUpdaterConfig.h"
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
      installed = std::to_string(info.version);
      newest = "69";
      available = info.version < 69;
    };
    config.isUpdateRunning = [this] { return updateRunning; };
    config.applicationCloseRequest = [this] { calls.push_back("close"); };
  }
};

struct RoadRun {
  QV::UpdateRoad::Outcome outcome;
  std::string output;
};

RoadRun drive(ScriptedEngine& engine, unsigned retries = 0) {
  QV::FirmwareUpdaterConfig config;
  engine.bind(config);
  QV::UpdateRoad::Settings settings;
  settings.retries = retries;
  settings.pollInterval = 1ms;
  settings.updateDeadline = 200ms;
  settings.reconnectPause = 1ms;
  std::ostringstream out;
  QV::UpdateRoad road(config, settings, out);
  const QV::UpdateRoad::Outcome outcome = road.run();
  road.quit();
  return {outcome, out.str()};
}

using Calls = std::vector<std::string>;

TEST(UpdateRoadLogic, aKeyboardLateAfterTheUpdateIsLookedForOnceMore) {
  ScriptedEngine engine;
  engine.normalMode = {true, false, true};
  engine.versions = {68, 69};
  const RoadRun run = drive(engine);
  EXPECT_EQ(run.outcome, QV::UpdateRoad::Outcome::Updated) << run.output;
  EXPECT_EQ(engine.calls, (Calls{"normal", "info", "reset", "perform", "normal", "normal", "info"}));

  ScriptedEngine gone;
  gone.normalMode = {true, false, false};
  EXPECT_EQ(drive(gone).outcome, QV::UpdateRoad::Outcome::Failed);
}

TEST(UpdateRoadLogic, retriesLookInUpdateModeFirstThenResetFromNormalMode) {
  // The reset fails; the first attempt goes on as RETRY does and its write
  // fails; the retry finds the keyboard in normal mode and resets it.
  ScriptedEngine engine;
  engine.reset = {false, true};
  engine.updateMode = {true, false};
  engine.results = {-2, 1};
  engine.versions = {68, 69};
  const RoadRun run = drive(engine, 1);
  EXPECT_EQ(run.outcome, QV::UpdateRoad::Outcome::Updated) << run.output;
  EXPECT_EQ(engine.calls, (Calls{"normal", "info", "reset", "update", "perform", "update", "normal", "reset",
                                 "perform", "normal", "info"}));
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

TEST(UpdateRoadLogic, aKeyboardNotCurrentAfterTheUpdateIsAFailure) {
  ScriptedEngine engine;
  engine.versions = {68, 68};
  EXPECT_EQ(drive(engine).outcome, QV::UpdateRoad::Outcome::Failed);
  EXPECT_EQ(QV::UpdateRoad::exitCode(QV::UpdateRoad::Outcome::Failed), 1);
}

}  // namespace
