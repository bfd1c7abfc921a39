#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "FirmwareUpdaterConfig.h"
#include "LateKeyboardSearch.h"
#include "QV/QDV2/USBDeviceInfo.h"
#include "QV/UIA/EventTimerManager.h"

namespace QV {

// The update wizard's steps without any widget: which page shows, which
// engine operation runs when, and what the action and QUIT buttons do. The
// engine is reached only through the configuration's callbacks. Everything
// that takes time on the main thread waits on a timer of the host (counted in
// the 40 ms ticks of the widget timers) instead of sleeping, so the window
// keeps painting: the page saying that the keyboard is being switched is
// painted before the switch, a keyboard that comes back late from the switch
// or from the update is looked for one scan at a time (LateKeyboardSearch),
// and the result word is polled. The update road runs the same steps with a
// host of its own, so that both follow one set of rules.
//
// Thread: the main thread. The result word is written by the engine's worker
// and read here with an atomic load.
class UpdateWizardFlow {
 public:
  // The seven pages.
  enum eState {
    eNoDevice,
    eUpToDate,
    eUpdateAvailable,
    eAskUpdateMode,
    eUpdating,
    eFailed,
    eDone,
  };

  // What the updating page is doing, for its message.
  enum eStep {
    eStepNone,
    eStepSwitching,
    eStepWriting,
    eStepReconnecting,
  };

  // The action button of a page; eActionNone shows it disabled.
  enum eAction {
    eActionNone,
    eActionRescan,
    eActionUpdate,
    eActionRetry,
  };

  // Why an update failed, shown as the error number of the failure page.
  enum eFailure {
    eFailureNone = 0,
    // The engine found no keyboard in update mode, or no image for it.
    eFailureNotPossible = 1,
    // Writing an image failed.
    eFailureWrite = 2,
    // The keyboard updated was not found again after the images were
    // written (another one found is not it).
    eFailureNotFoundAfter = 3,
    // The keyboard came back without the newest firmware.
    eFailureNotNewest = 4,
  };

  // The widget side: timers, repainting and quitting.
  class Host {
   public:
    virtual ~Host() = default;
    // One-shot timer: timerFired(id) after that many ticks; restarting a
    // pending id restarts it. A timer that fires on a page it no longer
    // belongs to is ignored, so none needs stopping.
    virtual void startFlowTimer(int ticks, int id) = 0;
    // The page or its texts changed.
    virtual void pageChanged() = 0;
    // QUIT or FINISH was clicked where quitting is allowed.
    virtual void quitRequested() = 0;
    // The clock the timers run by.
    virtual std::chrono::steady_clock::time_point now() const { return std::chrono::steady_clock::now(); }
  };

  enum eTimer {
    eTimerStep = 1,
    eTimerPoll = 2,
    eTimerLateSearch = 4,
    eTimerWrite = 5,
  };
  // The length of a tick of the host's timers.
  static constexpr std::chrono::milliseconds kTick{UIA::EventTimerManager::kTickMs};
  // Ticks between a page change and the slow call after it: the window
  // repaints on the tick after the change, the call runs on the next one.
  static constexpr int kPaintTicks = 2;
  // The result word is read five times a second.
  static constexpr int kPollTicks = 5;
  // The pause between two looks for a keyboard back late, in ticks.
  static constexpr int kLateSearchTicks = int(LateKeyboardSearch::kInterval / kTick);
  // The pause between a switch that found the keyboard in update mode and
  // the start of the writing: the input made while the switch held the
  // window (a quit by its key, the close box or a signal) is handled first,
  // before any block is sent. The ticks that the switch held back come in a
  // burst after it, so the pause goes by the clock.
  static constexpr std::chrono::milliseconds kWriteDelay{500};

  UpdateWizardFlow(FirmwareUpdaterConfig& config, Host& host);
  UpdateWizardFlow(const UpdateWizardFlow&) = delete;
  UpdateWizardFlow& operator=(const UpdateWizardFlow&) = delete;

  // Looks for a keyboard and shows what it found.
  void start();
  void actionClicked();
  // QUIT (FINISH on the done page): nothing while updating.
  void quitClicked();
  void timerFired(int id);

  eState state() const { return m_state; }
  eStep step() const { return m_step; }
  eAction action() const;
  // Whether the wizard is busy with the keyboard: the wheel turns, and
  // neither button does anything.
  bool busy() const { return m_state == eUpdating; }
  eFailure failure() const { return m_failure; }
  // The keyboard is in update mode and its writing about to start: a quit
  // asked now is asked about as during the writing, and while held the
  // writing waits (for the answer). Once held for a quit that was allowed,
  // the writing never starts.
  bool writingDue() const { return m_writingDue; }
  void holdWriting(bool held) { m_writingHeld = held; }
  // The update was refused before anything reached the keyboard, as this
  // build has no firmware for it: the update-available page then says why
  // and offers RESCAN instead of UPDATE.
  bool refused() const { return m_refused; }
  const QDV2::USBDeviceInfo& deviceInfo() const { return m_info; }
  const std::string& installed() const { return m_installed; }
  const std::string& newest() const { return m_newest; }

  // The state's name in trace lines and tests ("update-available").
  static const char* stateName(eState state);

 private:
  // connectInNormalMode and, when found, getDeviceInfo; false when no
  // keyboard was found (the labels are then cleared).
  bool scan();
  void readDeviceInfo();
  // Shows the page of what scan() found.
  void showScanResult(bool found);
  void setState(eState state, eStep step = eStepNone);
  // Shows the switching page and runs the switch once it is painted.
  void beginSwitch(bool fromAsk);
  void runSwitch();
  // Looks for a keyboard that the switch, or the first look after the
  // update, did not find, one scan per timer.
  void searchForLateKeyboard(LateKeyboardSearch::eFrom from);
  // One look of that search: the keyboard found goes on as if the step had
  // found it; given up on, the asking page after the switch, the failure
  // page after the update.
  void lookForLateKeyboard();
  // Starts the writing once kWriteDelay is over and it is not held.
  void writeSoon();
  void startWriting();
  void poll();
  // Reads the keyboard found after the update and shows how it ended.
  void judgeUpdatedKeyboard();
  void fail(eFailure failure);
  void refuse();

  FirmwareUpdaterConfig& m_config;
  Host& m_host;
  eState m_state = eNoDevice;
  eStep m_step = eStepNone;
  eFailure m_failure = eFailureNone;
  bool m_refused = false;
  // The switch about to run was asked for from the asking page.
  bool m_switchFromAsk = false;
  // Set while a keyboard back late is looked for.
  std::optional<LateKeyboardSearch> m_lateSearch;
  bool m_writingDue = false;
  std::chrono::steady_clock::time_point m_writeAt;
  bool m_writingHeld = false;
  QDV2::USBDeviceInfo m_info;
  std::string m_installed;
  std::string m_newest;
  bool m_updateAvailable = false;
  // Written by the engine's worker.
  int m_updateResult = 0;
};

}  // namespace QV
