#include "UpdateWizardFlow.h"

#include <atomic>

#include <boost/thread/exceptions.hpp>

namespace QV {

UpdateWizardFlow::UpdateWizardFlow(FirmwareUpdaterConfig& config, Host& host) : m_config(config), m_host(host) {}

const char* UpdateWizardFlow::stateName(eState state) {
  switch (state) {
    case eNoDevice:
      return "no-device";
    case eUpToDate:
      return "up-to-date";
    case eUpdateAvailable:
      return "update-available";
    case eAskUpdateMode:
      return "ask-update-mode";
    case eUpdating:
      return "updating";
    case eFailed:
      return "failed";
    case eDone:
      return "done";
  }
  return "unknown";
}

UpdateWizardFlow::eAction UpdateWizardFlow::action() const {
  switch (m_state) {
    case eNoDevice:
      return eActionRescan;
    case eUpdateAvailable:
      return m_refused ? eActionRescan : eActionUpdate;
    case eAskUpdateMode:
    case eFailed:
      return eActionRetry;
    default:
      return eActionNone;
  }
}

void UpdateWizardFlow::start() {
  showScanResult(scan());
}

void UpdateWizardFlow::actionClicked() {
  switch (action()) {
    case eActionRescan:
      // Only here may another keyboard than the one shown before be chosen:
      // every other step follows that keyboard alone.
      m_config.forgetKeyboard();
      showScanResult(scan());
      break;
    case eActionUpdate:
      beginSwitch(false);
      break;
    case eActionRetry:
      if (m_state == eAskUpdateMode) {
        beginSwitch(true);
        break;
      }
      // After a failure the keyboard may be in either mode, or gone: look
      // for it again and start over from what it reports now.
      if (!scan()) {
        showScanResult(false);
      } else if (m_updateAvailable) {
        beginSwitch(false);
      } else {
        setState(FirmwareUpdaterConfig::runsNewestFirmware(m_info, m_updateAvailable) ? eDone : eUpToDate);
      }
      break;
    case eActionNone:
      break;
  }
}

void UpdateWizardFlow::quitClicked() {
  // The worker owns the keyboard while it writes: leaving now could leave
  // the keyboard without firmware.
  if (m_state == eUpdating) {
    return;
  }
  m_host.quitRequested();
}

void UpdateWizardFlow::timerFired(int id) {
  if (m_state != eUpdating) {
    return;
  }
  switch (id) {
    case eTimerStep:
      if (m_step == eStepSwitching) {
        runSwitch();
      }
      break;
    case eTimerPoll:
      if (m_step == eStepWriting) {
        poll();
      }
      break;
    case eTimerLateSearch:
      if (m_lateSearch) {
        lookForLateKeyboard();
      }
      break;
    case eTimerWrite:
      if (m_step == eStepSwitching && m_writingDue) {
        if (m_writingHeld || m_host.now() < m_writeAt) {
          m_host.startFlowTimer(1, eTimerWrite);
        } else {
          m_writingDue = false;
          startWriting();
        }
      }
      break;
    default:
      break;
  }
}

bool UpdateWizardFlow::scan() {
  if (!m_config.connectInNormalMode()) {
    m_info = QDV2::USBDeviceInfo();
    m_installed.clear();
    m_updateAvailable = false;
    return false;
  }
  readDeviceInfo();
  return true;
}

void UpdateWizardFlow::readDeviceInfo() {
  m_info = QDV2::USBDeviceInfo();
  m_updateAvailable = false;
  m_config.getDeviceInfo(m_info, m_installed, m_newest, m_updateAvailable);
}

void UpdateWizardFlow::showScanResult(bool found) {
  if (!found) {
    setState(eNoDevice);
  } else {
    setState(m_updateAvailable ? eUpdateAvailable : eUpToDate);
  }
}

void UpdateWizardFlow::setState(eState state, eStep step) {
  m_state = state;
  m_step = step;
  if (state != eFailed) {
    m_failure = eFailureNone;
  }
  m_refused = false;
  m_host.pageChanged();
}

void UpdateWizardFlow::beginSwitch(bool fromAsk) {
  // Every way to an update passes here: a keyboard this build cannot write
  // is never switched, as update mode would leave it useless as a keyboard.
  if (!m_config.hasFirmwareForKeyboard()) {
    refuse();
    return;
  }
  m_switchFromAsk = fromAsk;
  setState(eUpdating, eStepSwitching);
  m_host.startFlowTimer(kPaintTicks, eTimerStep);
}

void UpdateWizardFlow::runSwitch() {
  bool inUpdateMode = false;
  bool switchTried = true;
  if (m_switchFromAsk) {
    // The keyboard may have gone into update mode on its own since the last
    // attempt, or may need to be found and asked once more.
    inUpdateMode = m_config.connectInUpdateMode();
    if (!inUpdateMode) {
      switchTried = m_config.connectInNormalMode();
      inUpdateMode = switchTried && m_config.resetIntoUpdateMode();
    }
  } else {
    inUpdateMode = m_config.resetIntoUpdateMode();
  }
  if (inUpdateMode) {
    writeSoon();
  } else if (!switchTried) {
    setState(eAskUpdateMode);
  } else {
    // A keyboard may come back as its loader later than the switch looks
    // for it. Left there it does not work as a keyboard, and the user asked
    // for the update: it is looked for a few seconds more before the user is
    // asked for it, the page staying as it is meanwhile.
    searchForLateKeyboard(LateKeyboardSearch::eFrom::eSwitch);
  }
}

void UpdateWizardFlow::searchForLateKeyboard(LateKeyboardSearch::eFrom from) {
  m_lateSearch.emplace(m_config, from, [this] { return m_host.now(); });
  m_host.startFlowTimer(kLateSearchTicks, eTimerLateSearch);
}

void UpdateWizardFlow::lookForLateKeyboard() {
  const bool afterSwitch = m_lateSearch->from() == LateKeyboardSearch::eFrom::eSwitch;
  switch (m_lateSearch->look()) {
    case LateKeyboardSearch::eLook::eFound:
      m_lateSearch.reset();
      // As after the switch's own look: the writing starts only once the
      // input made while the look held the window has been handled.
      if (afterSwitch) {
        writeSoon();
      } else {
        judgeUpdatedKeyboard();
      }
      break;
    case LateKeyboardSearch::eLook::eLookAgain:
      m_host.startFlowTimer(kLateSearchTicks, eTimerLateSearch);
      break;
    case LateKeyboardSearch::eLook::eGivenUp:
      m_lateSearch.reset();
      if (afterSwitch) {
        setState(eAskUpdateMode);
      } else {
        fail(eFailureNotFoundAfter);
      }
      break;
  }
}

void UpdateWizardFlow::writeSoon() {
  m_writingDue = true;
  m_writeAt = m_host.now() + kWriteDelay;
  m_host.startFlowTimer(1, eTimerWrite);
}

void UpdateWizardFlow::startWriting() {
  m_updateResult = 0;
  bool started = false;
  try {
    started = m_config.performUpdate(m_updateResult);
  } catch (const boost::thread_resource_error&) {
    // No thread could be started for the worker: nothing was written, and
    // the user may try again.
    started = false;
    m_updateResult = -1;
  }
  if (!started) {
    fail(m_updateResult == -2 ? eFailureWrite : eFailureNotPossible);
    return;
  }
  setState(eUpdating, eStepWriting);
  m_host.startFlowTimer(kPollTicks, eTimerPoll);
}

void UpdateWizardFlow::poll() {
  const int result = std::atomic_ref<int>(m_updateResult).load();
  if (result == 0) {
    m_host.startFlowTimer(kPollTicks, eTimerPoll);
  } else if (result < 0) {
    fail(result == -2 ? eFailureWrite : eFailureNotPossible);
  } else {
    setState(eUpdating, eStepReconnecting);
    if (m_config.connectInNormalMode()) {
      judgeUpdatedKeyboard();
    } else {
      // The keyboard may still be starting its new firmware.
      searchForLateKeyboard(LateKeyboardSearch::eFrom::eUpdate);
    }
  }
}

void UpdateWizardFlow::judgeUpdatedKeyboard() {
  const std::string updatedSerial = m_info.serialNumber;
  readDeviceInfo();
  if (m_info.serialNumber != updatedSerial) {
    // The versions of another keyboard say nothing of the one updated.
    fail(eFailureNotFoundAfter);
  } else if (FirmwareUpdaterConfig::runsNewestFirmware(m_info, m_updateAvailable)) {
    setState(eDone);
  } else {
    fail(eFailureNotNewest);
  }
}

void UpdateWizardFlow::refuse() {
  m_state = eUpdateAvailable;
  m_step = eStepNone;
  m_failure = eFailureNone;
  m_refused = true;
  m_host.pageChanged();
}

void UpdateWizardFlow::fail(eFailure failure) {
  m_failure = failure;
  m_state = eFailed;
  m_step = eStepNone;
  m_host.pageChanged();
}

}  // namespace QV
