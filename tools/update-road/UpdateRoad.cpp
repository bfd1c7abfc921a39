#include "UpdateRoad.h"

#include <algorithm>
#include <atomic>
#include <ostream>
#include <thread>
#include <utility>

#include "LateKeyboardSearch.h"
#include "QV/GP/StringUtil.h"
#include "QV/QDV2/USBDeviceDB.h"

namespace QV {

namespace {

const char* yesNo(bool value) { return value ? "yes" : "no"; }

// What the wizard's failure page would say for a result word.
const char* resultText(int word) {
  switch (word) {
    case 1:
      return "the images were written";
    case -1:
      return "no update was possible for this keyboard";
    case -2:
      return "writing the firmware failed";
    case 0:
      return "the update did not finish in time";
    default:
      return "unknown result";
  }
}

std::string tenths(std::chrono::steady_clock::duration time) {
  const auto count = std::chrono::duration_cast<std::chrono::milliseconds>(time).count() / 100;
  return std::to_string(count / 10) + "." + std::to_string(count % 10) + " s";
}

}  // namespace

UpdateRoad::UpdateRoad(FirmwareUpdaterConfig& config, Settings settings, std::ostream& out)
    : m_engine(config), m_settings(std::move(settings)), m_out(out), m_flow(m_config, *this) {
  if (!m_settings.now) {
    m_settings.now = Clock::now;
  }
  if (!m_settings.sleep) {
    m_settings.sleep = [](Clock::duration time) { std::this_thread::sleep_for(time); };
  }
  traceCallbacks();
}

int UpdateRoad::exitCode(Outcome outcome) {
  return outcome == Outcome::UpToDate || outcome == Outcome::Updated ? 0 : 1;
}

void UpdateRoad::traceCallbacks() {
  m_config.connectInNormalMode = [this] {
    tellFound(nullptr);
    m_lastFound = m_engine.connectInNormalMode();
    if (!m_lastFound) {
      return told("connectInNormalMode", false);
    }
    if (m_searching) {
      endSearch();
    }
    // The keyboard is found in either mode: the line says which once
    // getDeviceInfo has read it.
    m_foundUntold = true;
    return true;
  };
  m_config.resetIntoUpdateMode = [this] {
    tellFound(nullptr);
    return told("resetIntoUpdateMode", m_engine.resetIntoUpdateMode());
  };
  m_config.connectInUpdateMode = [this] {
    tellFound(nullptr);
    return told("connectInUpdateMode", m_engine.connectInUpdateMode());
  };
  m_config.hasFirmwareForKeyboard = [this] { return m_engine.hasFirmwareForKeyboard(); };
  if (m_engine.forgetKeyboard) {
    m_config.forgetKeyboard = [this] { m_engine.forgetKeyboard(); };
  }
  m_config.performUpdate = [this](int& word) {
    tellFound(nullptr);
    const bool started = m_engine.performUpdate(word);
    // The worker stores the word once, atomically; it is read the same way.
    say(std::string("performUpdate: ") + (started ? "started" : "not started") + ", result word " +
        std::to_string(std::atomic_ref<int>(word).load()));
    return started;
  };
  m_config.getDeviceInfo = [this](QDV2::USBDeviceInfo& info, std::string& installed, std::string& newest,
                                  bool& updateAvailable) {
    m_engine.getDeviceInfo(info, installed, newest, updateAvailable);
    tellFound(&info);
    // The serial number is the device's own text: shown, never obeyed.
    say("getDeviceInfo: serial \"" + GP::StringUtil::printable(info.serialNumber) + "\", installed \"" + installed +
        "\", newest \"" + newest + "\", update available: " + yesNo(updateAvailable));
  };
}

UpdateRoad::Outcome UpdateRoad::run() {
  say("Looking for the keyboard.");
  m_flow.start();
  Outcome outcome = Outcome::Failed;
  while (runTimers()) {
    if (settle(outcome)) {
      return outcome;
    }
  }
  return m_ended ? Outcome::Ended : Outcome::Failed;
}

bool UpdateRoad::settle(Outcome& outcome) {
  switch (m_flow.state()) {
    case UpdateWizardFlow::eUpToDate:
      outcome = Outcome::UpToDate;
      return true;
    case UpdateWizardFlow::eDone:
      outcome = Outcome::Updated;
      return true;
    case UpdateWizardFlow::eUpdateAvailable:
      if (m_flow.refused()) {
        outcome = Outcome::NoFirmware;
        return true;
      }
      if (m_attempts == 0) {
        ++m_attempts;
        m_flow.actionClicked();
        return false;
      }
      break;
    case UpdateWizardFlow::eAskUpdateMode:
    case UpdateWizardFlow::eFailed:
      if (m_attempts <= m_settings.retries) {
        say("Retry " + std::to_string(m_attempts) + " of " + std::to_string(m_settings.retries) + ".");
        ++m_attempts;
        m_flow.actionClicked();
        return false;
      }
      break;
    case UpdateWizardFlow::eNoDevice:
      if (m_attempts == 0) {
        outcome = Outcome::NoKeyboard;
        return true;
      }
      break;
    case UpdateWizardFlow::eUpdating:
      // Nothing is pending that could take it further.
      break;
  }
  say("The update failed after " + std::to_string(m_attempts) + (m_attempts == 1 ? " attempt." : " attempts."));
  outcome = Outcome::Failed;
  return true;
}

bool UpdateRoad::runTimers() {
  while (!m_timers.empty()) {
    if (endAsked()) {
      return false;
    }
    const auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    const int id = next->first;
    const Clock::time_point at = next->second;
    if (writing() && at - m_writingSince > m_settings.updateDeadline) {
      say("Result word 0 after " + tenths(now() - m_writingSince) + ": " + resultText(0) + ".");
      say(std::string("The update failed: ") + resultText(0) + ".");
      return false;
    }
    const Clock::duration wait = at - now();
    if (wait > Clock::duration::zero()) {
      m_settings.sleep(wait);
      if (id != UpdateWizardFlow::eTimerPoll) {
        m_pauses += wait;
      }
      // The wait may have ended early for the request to end; the wizard
      // takes no further step then.
      if (endAsked()) {
        return false;
      }
    }
    m_timers.erase(next);
    m_flow.timerFired(id);
  }
  return true;
}

bool UpdateRoad::endAsked() {
  if (!m_ended && m_settings.endAsked && m_settings.endAsked()) {
    m_ended = true;
    say("Asked to end: stopping here, as the window's quit does.");
  }
  return m_ended;
}

void UpdateRoad::quit() {
  // As the application quits: a running worker is given its bounded time and
  // then interrupted, so that nothing outlives the engine. A signal is a quit
  // already approved, as the window takes it: nobody is asked, so the update
  // is not first waited for as the question's caller waits.
  if (m_ended) {
    say("Ending an update that still runs, if any.");
    m_engine.applicationCloseRequest();
    return;
  }
  if (told("isUpdateRunning", m_engine.isUpdateRunning())) {
    say("An update is still running: asking it to end.");
    m_engine.applicationCloseRequest();
  }
}

void UpdateRoad::startFlowTimer(int ticks, int id) {
  m_timers[id] = now() + ticks * UpdateWizardFlow::kTick;
  if (id == UpdateWizardFlow::eTimerLateSearch && !m_searching) {
    m_searching = true;
    const bool afterSwitch = m_flow.step() == UpdateWizardFlow::eStepSwitching;
    const auto patience = LateKeyboardSearch::patience(afterSwitch ? LateKeyboardSearch::eFrom::eSwitch
                                                                   : LateKeyboardSearch::eFrom::eUpdate);
    say(std::string(afterSwitch ? "Looking for the keyboard in update mode"
                                : "The keyboard is not back yet; looking for it") +
        " for up to " + std::to_string(patience.count()) + " ms.");
  }
}

UpdateRoad::Clock::time_point UpdateRoad::now() const { return m_settings.now(); }

bool UpdateRoad::writing() const {
  return m_flow.state() == UpdateWizardFlow::eUpdating && m_flow.step() == UpdateWizardFlow::eStepWriting;
}

void UpdateRoad::pageChanged() {
  tellFound(nullptr);
  if (m_searching) {
    endSearch();
  }
  const UpdateWizardFlow::eState state = m_flow.state();
  const UpdateWizardFlow::eStep step = m_flow.step();
  const bool wasWriting = std::exchange(m_writingShown, writing());
  // The word the wizard read, as the page it went on to tells it.
  const int word = state == UpdateWizardFlow::eUpdating                 ? 1
                   : m_flow.failure() == UpdateWizardFlow::eFailureWrite ? -2
                                                                           : -1;
  if (wasWriting && step != UpdateWizardFlow::eStepWriting) {
    say("Result word " + std::to_string(word) + " after " + tenths(now() - m_writingSince) + ": " +
        resultText(word) + ".");
  }
  switch (state) {
    case UpdateWizardFlow::eNoDevice:
      say("No keyboard: no ORVEL TARSIN VANTA keyboard was found.");
      break;
    case UpdateWizardFlow::eUpToDate:
      say("No update needed: the keyboard has the newest firmware.");
      break;
    case UpdateWizardFlow::eUpdateAvailable:
      if (m_flow.refused()) {
        say("No firmware for this keyboard: this build carries placeholder images and updates only the "
            "simulated keyboard, so the keyboard was left as it is. Configure with "
            "-DQV_FIRMWARE_DIR=/path/to/images to build one for a real keyboard.");
      }
      break;
    case UpdateWizardFlow::eAskUpdateMode:
      say("The keyboard did not come back: it could not be switched into update mode.");
      break;
    case UpdateWizardFlow::eUpdating:
      if (step == UpdateWizardFlow::eStepSwitching) {
        m_updatedSerial = m_flow.deviceInfo().serialNumber;
      } else if (step == UpdateWizardFlow::eStepWriting) {
        m_writingSince = now();
      }
      break;
    case UpdateWizardFlow::eFailed:
      switch (m_flow.failure()) {
        case UpdateWizardFlow::eFailureNotFoundAfter:
          // The versions of another keyboard say nothing about the one updated.
          if (m_lastFound) {
            say("The keyboard found after the update is not the one updated: serial \"" +
                GP::StringUtil::printable(m_flow.deviceInfo().serialNumber) + "\" instead of \"" +
                GP::StringUtil::printable(m_updatedSerial) + "\".");
          } else {
            say("The keyboard did not come back after the update.");
          }
          break;
        case UpdateWizardFlow::eFailureNotNewest:
          say("The keyboard does not report the newest firmware after the update.");
          break;
        default:
          say(std::string("The update failed: ") + resultText(word) + ".");
          break;
      }
      break;
    case UpdateWizardFlow::eDone:
      say("Update complete: the keyboard has the newest firmware.");
      break;
  }
}

bool UpdateRoad::told(const char* step, bool result) {
  if (m_searching && !result) {
    m_missedStep = step;
    ++m_misses;
    return result;
  }
  if (m_searching) {
    endSearch();
  }
  say(std::string(step) + ": " + (result ? "true" : "false"));
  return result;
}

void UpdateRoad::endSearch() {
  m_searching = false;
  if (m_misses > 0) {
    say(std::string(m_missedStep) + ": false " + std::to_string(m_misses) + (m_misses == 1 ? " time" : " times"));
  }
  m_misses = 0;
}

void UpdateRoad::tellFound(const QDV2::USBDeviceInfo* info) {
  if (!m_foundUntold) {
    return;
  }
  m_foundUntold = false;
  const char* mode = "";
  if (info != nullptr) {
    mode = QDV2::USBDeviceDB::isUpdateModeProductId(info->productId) ? " in update mode" : " in normal mode";
  }
  say(std::string("connectInNormalMode: found the keyboard") + mode);
}

void UpdateRoad::say(const std::string& line) { m_out << "update-road: " << line << std::endl; }

}  // namespace QV
