#include "UpdateWizardFlow.h"

#include <gtest/gtest.h>

#include <boost/thread/exceptions.hpp>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UpdaterTexts.h"

namespace QV {
namespace {

using namespace std::chrono_literals;

// An engine whose answers the test scripts, and which logs every call in
// order.
struct ScriptedEngine {
  std::vector<std::string> calls;
  std::deque<bool> normalMode;  // answers of connectInNormalMode, in turn
  std::deque<bool> resets;
  std::deque<bool> updateMode;
  bool startsWorker = true;
  bool throwsOnStart = false;
  int* resultWord = nullptr;
  // What getDeviceInfo reports, in turn; the last one stays.
  struct Info {
    int version;
    std::string installed;
    bool updateAvailable;
    std::string serial = "SER123";
    std::string newest = "69";
  };
  std::deque<Info> infos{{68, "68", true}};

  static bool take(std::deque<bool>& answers) {
    if (answers.empty()) {
      return false;
    }
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  void bind(FirmwareUpdaterConfig& config) {
    config.connectInNormalMode = [this] {
      calls.push_back("connectInNormalMode");
      return take(normalMode);
    };
    config.resetIntoUpdateMode = [this] {
      calls.push_back("resetIntoUpdateMode");
      return take(resets);
    };
    config.connectInUpdateMode = [this] {
      calls.push_back("connectInUpdateMode");
      return take(updateMode);
    };
    config.performUpdate = [this](int& word) {
      calls.push_back("performUpdate");
      if (throwsOnStart) {
        throw boost::thread_resource_error(35, "boost::thread_resource_error");
      }
      if (!startsWorker) {
        word = -1;
        return false;
      }
      word = 0;
      resultWord = &word;
      return true;
    };
    config.getDeviceInfo = [this](QDV2::USBDeviceInfo& info, std::string& installed, std::string& newest,
                                  bool& available) {
      calls.push_back("getDeviceInfo");
      const Info now = infos.front();
      if (infos.size() > 1) {
        infos.pop_front();
      }
      info.version = static_cast<std::uint16_t>(now.version);
      info.serialNumber = now.serial;
      installed = now.installed;
      newest = now.newest;
      available = now.updateAvailable;
    };
    config.isUpdateRunning = [this] {
      calls.push_back("isUpdateRunning");
      return false;
    };
    config.applicationCloseRequest = [this] { calls.push_back("applicationCloseRequest"); };
    config.forgetKeyboard = [this] { calls.push_back("forgetKeyboard"); };
    config.hasFirmwareForKeyboard = [] { return true; };
  }
};

// A host that keeps the pending timers and fires them on request, as the
// pane's ticks would, its clock moving on by their ticks.
struct RecordingHost : UpdateWizardFlow::Host {
  std::map<int, int> timers;  // id -> ticks
  std::vector<std::string> pages;
  int quits = 0;
  UpdateWizardFlow* flow = nullptr;
  std::chrono::steady_clock::time_point clock;

  void startFlowTimer(int ticks, int id) override { timers[id] = ticks; }
  void pageChanged() override { pages.push_back(UpdateWizardFlow::stateName(flow->state())); }
  void quitRequested() override { ++quits; }
  std::chrono::steady_clock::time_point now() const override { return clock; }

  // Fires the timer of the id; false when none is pending.
  bool fire(int id) {
    auto found = timers.find(id);
    if (found == timers.end()) {
      return false;
    }
    clock += found->second * 40ms;
    timers.erase(found);
    flow->timerFired(id);
    // The writing a switch leaves due starts a few ticks later, unless the
    // test holds it.
    while (writeWhenDue && id != UpdateWizardFlow::eTimerWrite && fire(UpdateWizardFlow::eTimerWrite)) {
    }
    return true;
  }
  bool writeWhenDue = true;

  // Lets the search for a keyboard that the switch did not find run out.
  void searchToTheEnd() {
    while (fire(UpdateWizardFlow::eTimerLateSearch)) {
    }
  }
};

class WizardFlow : public ::testing::Test {
 protected:
  WizardFlow() : flow(config, host) {
    engine.bind(config);
    host.flow = &flow;
  }

  void setWord(int value) { *engine.resultWord = value; }

  // A wizard of its own, on the engine as scripted now, that has clicked
  // UPDATE and run the switch.
  std::unique_ptr<UpdateWizardFlow> switchOnce() {
    auto fresh = std::make_unique<UpdateWizardFlow>(config, host);
    host.flow = fresh.get();
    fresh->start();
    fresh->actionClicked();
    host.fire(UpdateWizardFlow::eTimerStep);
    return fresh;
  }

  // A wizard of its own that finds the keyboard at 68 and updates it; the
  // worker ends with `word`, and the keyboard is next read as `next`.
  std::unique_ptr<UpdateWizardFlow> updateOnce(int word, const ScriptedEngine::Info& next) {
    engine.normalMode = {true, true};
    engine.resets = {true};
    engine.infos = {{68, "68", true}, next};
    auto fresh = switchOnce();
    setWord(word);
    host.fire(UpdateWizardFlow::eTimerPoll);
    return fresh;
  }

  ScriptedEngine engine;
  FirmwareUpdaterConfig config;
  RecordingHost host;
  UpdateWizardFlow flow;
};

TEST_F(WizardFlow, WholeRoadCallsTheEngineInOrderAndPaintsBeforeTheSwitch) {
  engine.normalMode = {true, true};
  engine.resets = {true};
  engine.infos = {{68, "68", true}, {69, "69", false}};
  flow.start();
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eUpdateAvailable);
  EXPECT_EQ(flow.action(), UpdateWizardFlow::eActionUpdate);
  EXPECT_EQ(flow.installed(), "68");
  EXPECT_EQ(flow.deviceInfo().serialNumber, "SER123");

  flow.actionClicked();
  // The switching page shows first; the switch waits for it to be painted.
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eUpdating);
  EXPECT_EQ(flow.step(), UpdateWizardFlow::eStepSwitching);
  EXPECT_EQ(engine.calls.size(), 2u);
  EXPECT_EQ(host.timers[UpdateWizardFlow::eTimerStep], UpdateWizardFlow::kPaintTicks);
  EXPECT_GE(UpdateWizardFlow::kPaintTicks, 2);

  ASSERT_TRUE(host.fire(UpdateWizardFlow::eTimerStep));
  EXPECT_EQ(flow.step(), UpdateWizardFlow::eStepWriting);
  ASSERT_TRUE(host.fire(UpdateWizardFlow::eTimerPoll));
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eUpdating) << "a running worker keeps the page";
  setWord(1);
  ASSERT_TRUE(host.fire(UpdateWizardFlow::eTimerPoll));
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eDone);
  EXPECT_EQ(flow.installed(), "69");
  EXPECT_TRUE(host.timers.empty());

  const std::vector<std::string> expected = {"connectInNormalMode", "getDeviceInfo",       "resetIntoUpdateMode",
                                             "performUpdate",       "connectInNormalMode", "getDeviceInfo"};
  EXPECT_EQ(engine.calls, expected);
  const std::vector<std::string> pages = {"update-available", "updating", "updating", "updating", "done"};
  EXPECT_EQ(host.pages, pages);
}

TEST_F(WizardFlow, NoKeyboardThenRescanFindsOneUpToDate) {
  engine.normalMode = {false, true};
  engine.infos = {{69, "69", false}};
  flow.start();
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eNoDevice);
  EXPECT_EQ(flow.action(), UpdateWizardFlow::eActionRescan);
  EXPECT_EQ(UpdaterTexts::pageMessage(flow), "Please connect your ORVEL TARSIN VANTA Keyboard and click RESCAN.");
  flow.actionClicked();
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eUpToDate);
  EXPECT_EQ(flow.action(), UpdateWizardFlow::eActionNone);
  flow.actionClicked();  // a disabled button does nothing
  // RESCAN, and only RESCAN, lets the engine choose another keyboard.
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"connectInNormalMode", "forgetKeyboard", "connectInNormalMode",
                                                    "getDeviceInfo"}));
}

TEST_F(WizardFlow, KeyboardThatWillNotSwitchIsAskedForAndRetried) {
  engine.normalMode = {true, true, true};
  engine.resets = {false, false, true};
  engine.infos = {{68, "68", true}, {69, "69", false}};
  flow.start();
  flow.actionClicked();
  host.fire(UpdateWizardFlow::eTimerStep);
  host.searchToTheEnd();
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eAskUpdateMode);
  EXPECT_EQ(flow.action(), UpdateWizardFlow::eActionRetry);

  // The first retry switches it again, and again it is not found.
  flow.actionClicked();
  EXPECT_EQ(flow.step(), UpdateWizardFlow::eStepSwitching);
  host.fire(UpdateWizardFlow::eTimerStep);
  host.searchToTheEnd();
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eAskUpdateMode);

  // The second finds it in normal mode and switches it.
  flow.actionClicked();
  host.fire(UpdateWizardFlow::eTimerStep);
  EXPECT_EQ(flow.step(), UpdateWizardFlow::eStepWriting);
  const std::vector<std::string> expected = {
      "connectInNormalMode", "getDeviceInfo",       "resetIntoUpdateMode", "connectInUpdateMode",
      "connectInNormalMode", "resetIntoUpdateMode", "connectInUpdateMode", "connectInNormalMode",
      "resetIntoUpdateMode", "performUpdate"};
  // Each search, and the look of the RETRY after it, as one call.
  engine.calls.erase(std::unique(engine.calls.begin(), engine.calls.end()), engine.calls.end());
  EXPECT_EQ(engine.calls, expected);
}

TEST_F(WizardFlow, KeyboardBackLateInUpdateModeIsFoundByRetry) {
  engine.normalMode = {true};
  engine.resets = {false};
  flow.start();
  flow.actionClicked();
  host.fire(UpdateWizardFlow::eTimerStep);
  host.searchToTheEnd();
  engine.updateMode = {true};
  flow.actionClicked();
  host.fire(UpdateWizardFlow::eTimerStep);
  EXPECT_EQ(flow.step(), UpdateWizardFlow::eStepWriting);
  EXPECT_EQ(engine.calls.back(), "performUpdate");
  EXPECT_EQ(engine.calls[engine.calls.size() - 2], "connectInUpdateMode");
}

// The writing starts a moment after the switch, or after the late search's
// look that found the keyboard, so that a quit asked while that step held the
// window comes first; held for the quit's question, it waits for the answer.
TEST_F(WizardFlow, TheWritingWaitsForAQuitAskedDuringTheSwitch) {
  for (const bool lateLook : {false, true}) {
    SCOPED_TRACE(lateLook ? "found by the late search" : "found by the switch");
    engine = ScriptedEngine();
    engine.normalMode = {true};
    engine.resets = {!lateLook};
    engine.updateMode = {true};
    host.writeWhenDue = false;
    const auto flow = switchOnce();
    UpdateWizardFlow& wizard = *flow;
    if (lateLook) {
      ASSERT_TRUE(host.fire(UpdateWizardFlow::eTimerLateSearch));
    }
    EXPECT_TRUE(wizard.writingDue());
    ASSERT_TRUE(host.fire(UpdateWizardFlow::eTimerWrite));
    EXPECT_EQ(wizard.step(), UpdateWizardFlow::eStepSwitching) << "written before the input made meanwhile";
    wizard.holdWriting(true);
    for (auto held = 0ms; held <= UpdateWizardFlow::kWriteDelay; held += 40ms) {
      ASSERT_TRUE(host.fire(UpdateWizardFlow::eTimerWrite)) << "the held writing is given up";
    }
    EXPECT_NE(engine.calls.back(), "performUpdate");
    wizard.holdWriting(false);
    ASSERT_TRUE(host.fire(UpdateWizardFlow::eTimerWrite));
    EXPECT_FALSE(wizard.writingDue());
    EXPECT_EQ(wizard.step(), UpdateWizardFlow::eStepWriting);
    EXPECT_EQ(engine.calls.back(), "performUpdate");
  }
}

// A switch whose own scan misses the keyboard looks for it in update mode,
// one scan per timer, a few seconds more before the asking page shows; found
// then, it is updated as if the switch had found it.
TEST_F(WizardFlow, ASwitchThatMissesTheKeyboardLooksForItAFewSecondsMore) {
  const std::deque<bool> looks[] = {{true}, {false, false, false, true}, {}};
  for (const std::deque<bool>& answers : looks) {
    SCOPED_TRACE(answers.size());
    engine = ScriptedEngine();
    engine.normalMode = {true};
    engine.resets = {false};
    engine.updateMode = answers;
    const auto flow = switchOnce();
    UpdateWizardFlow& wizard = *flow;
    const auto switched = host.clock;
    host.searchToTheEnd();
    if (answers.empty()) {
      EXPECT_EQ(wizard.state(), UpdateWizardFlow::eAskUpdateMode);
      EXPECT_GE(host.clock - switched, LateKeyboardSearch::kPatience);
      EXPECT_LT(host.clock - switched, LateKeyboardSearch::kPatience + LateKeyboardSearch::kInterval);
    } else {
      EXPECT_EQ(wizard.step(), UpdateWizardFlow::eStepWriting);
      EXPECT_EQ(std::count(engine.calls.begin(), engine.calls.end(), "connectInUpdateMode"), answers.size());
    }
  }
}

// After the update, a keyboard that the first look misses is looked for one
// scan per timer as long as the pause the window always gave it and the
// switch's patience together: found at the last look it is judged, never
// found it is shown as lost.
TEST_F(WizardFlow, AKeyboardLateFromTheUpdateIsLookedForUntilAboutFifteenSecondsAfterItLeft) {
  // The looks that fit in the patience, a whole number of ticks apart.
  const auto interval = UpdateWizardFlow::kLateSearchTicks * UpdateWizardFlow::kTick;
  const auto looks = (LateKeyboardSearch::kPatienceAfterUpdate + interval - 1ms) / interval;
  for (const bool found : {true, false}) {
    SCOPED_TRACE(found ? "found at the last look" : "never found");
    engine = ScriptedEngine();
    engine.normalMode = {true, false};
    engine.normalMode.insert(engine.normalMode.end(), looks - 1, false);
    engine.normalMode.push_back(found);
    engine.resets = {true};
    engine.infos = {{68, "68", true}, {69, "69", false}};
    const auto flow = switchOnce();
    UpdateWizardFlow& wizard = *flow;
    setWord(1);
    host.fire(UpdateWizardFlow::eTimerPoll);
    const auto firstLook = host.clock;
    EXPECT_EQ(wizard.step(), UpdateWizardFlow::eStepReconnecting);
    wizard.quitClicked();
    EXPECT_EQ(host.quits, 0) << "QUIT does nothing while updating";
    host.searchToTheEnd();
    EXPECT_GE(host.clock - firstLook, LateKeyboardSearch::kPatienceAfterUpdate);
    EXPECT_LT(host.clock - firstLook, LateKeyboardSearch::kPatienceAfterUpdate + LateKeyboardSearch::kInterval);
    EXPECT_EQ(wizard.state(), found ? UpdateWizardFlow::eDone : UpdateWizardFlow::eFailed);
    EXPECT_EQ(wizard.failure(), found ? UpdateWizardFlow::eFailureNone : UpdateWizardFlow::eFailureNotFoundAfter);
    wizard.quitClicked();
    EXPECT_EQ(host.quits, 1) << "QUIT quits once the update has ended";
    host.quits = 0;
  }
  EXPECT_EQ(UpdaterTexts::quitCaption(UpdateWizardFlow::eDone), "FINISH");
}

TEST_F(WizardFlow, FailuresShowTheFailedPageAndRetryStartsOver) {
  engine.normalMode = {true, true, true};
  engine.resets = {true, true};
  engine.infos = {{68, "68", true}, {68, "68", true}, {69, "69", false}};
  flow.start();
  flow.actionClicked();
  host.fire(UpdateWizardFlow::eTimerStep);
  setWord(-2);
  host.fire(UpdateWizardFlow::eTimerPoll);
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eFailed);
  EXPECT_EQ(flow.failure(), UpdateWizardFlow::eFailureWrite);
  EXPECT_EQ(UpdaterTexts::pageMessage(flow),
            "The update of your ORVEL TARSIN VANTA Keyboard failed (error 2). Check that your ORVEL TARSIN "
            "VANTA Keyboard is connected and click RETRY. If the update fails again, restart ZRV Firmware "
            "Updater.");
  flow.quitClicked();
  EXPECT_EQ(host.quits, 1) << "QUIT quits from the failed page";

  // RETRY looks for the keyboard again and repeats the update.
  flow.actionClicked();
  EXPECT_EQ(flow.step(), UpdateWizardFlow::eStepSwitching);
  host.fire(UpdateWizardFlow::eTimerStep);
  setWord(1);
  host.fire(UpdateWizardFlow::eTimerPoll);
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eDone);

  // A RETRY that finds no update due says done only of a keyboard on the
  // newest main firmware, by the rule that judges an update.
  const struct {
    ScriptedEngine::Info found;
    UpdateWizardFlow::eState state;
  } retries[] = {
      {{69, "69", false}, UpdateWizardFlow::eDone},
      {{69, "69 / 14", false, "SER123", "69 / 13"}, UpdateWizardFlow::eDone},
      {{70, "70", false}, UpdateWizardFlow::eUpToDate},
  };
  for (const auto& retry : retries) {
    SCOPED_TRACE(retry.found.installed);
    const auto again = updateOnce(-2, retry.found);
    ASSERT_EQ(again->state(), UpdateWizardFlow::eFailed);
    again->actionClicked();
    EXPECT_EQ(again->state(), retry.state);
  }
}

TEST_F(WizardFlow, WorkerThatCannotStartOrWrongRevisionAfterwardsFails) {
  engine.normalMode = {true, true, true};
  engine.resets = {true, true};
  engine.throwsOnStart = true;
  flow.start();
  flow.actionClicked();
  EXPECT_NO_THROW(host.fire(UpdateWizardFlow::eTimerStep));
  EXPECT_EQ(flow.state(), UpdateWizardFlow::eFailed);
  EXPECT_EQ(flow.failure(), UpdateWizardFlow::eFailureNotPossible);

  // What the keyboard reports once back from the update decides between
  // the done page and the failure page.
  engine.throwsOnStart = false;
  const struct {
    const char* name;
    ScriptedEngine::Info after;
    UpdateWizardFlow::eFailure failure;
  } afters[] = {
      {"still on its old revision", {68, "68", true}, UpdateWizardFlow::eFailureNotNewest},
      {"on another main firmware than ours", {70, "70", false}, UpdateWizardFlow::eFailureNotNewest},
      {"still due an update (as in update mode)", {69, "69", true}, UpdateWizardFlow::eFailureNotNewest},
      {"second image older than ours", {69, "69 / 12", true, "SER123", "69 / 13"},
       UpdateWizardFlow::eFailureNotNewest},
      {"second image newer than ours, rightly not written", {69, "69 / 14", false, "SER123", "69 / 13"},
       UpdateWizardFlow::eFailureNone},
      {"another keyboard on the newest firmware in its place", {69, "69", false, "OTHER"},
       UpdateWizardFlow::eFailureNotFoundAfter},
  };
  for (const auto& c : afters) {
    SCOPED_TRACE(c.name);
    const auto updated = updateOnce(1, c.after);
    EXPECT_EQ(updated->state(),
              c.failure == UpdateWizardFlow::eFailureNone ? UpdateWizardFlow::eDone : UpdateWizardFlow::eFailed);
    EXPECT_EQ(updated->failure(), c.failure);
  }
}

TEST(UpdaterTexts, TemplatesThatDoNotFitTheirArgumentsStillGiveText) {
  EXPECT_EQ(UpdaterTexts::fill("%1% and %2%", std::string("one")), "%1% and %2%");
  EXPECT_EQ(UpdaterTexts::fill("%1% %2%", "ZRV Firmware Updater", "1.0"), "ZRV Firmware Updater 1.0");
  EXPECT_EQ(UpdaterTexts::fill("%1%: %2%", "a", 3, "b"), "%1%: %2%");
}

TEST(UpdaterTexts, DeviceStringsShowWithoutTheirControlCharacters) {
  EXPECT_EQ(UpdaterTexts::fromDevice("EVIL\x1b[2K\rX\x7f"), "EVIL?[2K?X?");
  EXPECT_EQ(UpdaterTexts::fromDevice(""), "-");
  EXPECT_EQ(UpdaterTexts::fromDevice("Ser\xc3\xa9"), "Ser\xc3\xa9") << "UTF-8 stays";
}

}  // namespace
}  // namespace QV
