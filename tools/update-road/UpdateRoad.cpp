#include "UpdateRoad.h"

#include <atomic>
#include <ostream>
#include <thread>

#include "FirmwareUpdaterConfig.h"
#include "LateKeyboardSearch.h"
#include "QV/GP/StringUtil.h"
#include "QV/QDV2/USBDeviceInfo.h"

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

}  // namespace

UpdateRoad::UpdateRoad(FirmwareUpdaterConfig& config, Settings settings, std::ostream& out)
    : m_config(config), m_settings(settings), m_out(out) {}

int UpdateRoad::exitCode(Outcome outcome) {
  return outcome == Outcome::UpToDate || outcome == Outcome::Updated ? 0 : 1;
}

UpdateRoad::Outcome UpdateRoad::run() {
  say("Looking for the keyboard.");
  if (!findKeyboard()) {
    say("No keyboard: no ORVEL TARSIN VANTA keyboard was found.");
    return Outcome::NoKeyboard;
  }
  const Versions before = readVersions();
  if (!before.updateAvailable) {
    say("No update needed: the keyboard has the newest firmware.");
    return Outcome::UpToDate;
  }
  if (!m_config.hasFirmwareForKeyboard()) {
    say("No firmware for this keyboard: this build carries placeholder images and updates only the simulated "
        "keyboard, so the keyboard was left as it is. Configure with -DQV_FIRMWARE_DIR=/path/to/images to build "
        "one for a real keyboard.");
    return Outcome::NoFirmware;
  }
  for (unsigned attemptNumber = 0; attemptNumber <= m_settings.retries; ++attemptNumber) {
    if (attemptNumber > 0) {
      say("Retry " + std::to_string(attemptNumber) + " of " + std::to_string(m_settings.retries) + ".");
    }
    if (attempt(attemptNumber == 0, before.info.serialNumber)) {
      say("Update complete: the keyboard has the newest firmware.");
      return Outcome::Updated;
    }
  }
  say("The update failed after " + std::to_string(m_settings.retries + 1) +
      (m_settings.retries == 0 ? " attempt." : " attempts."));
  return Outcome::Failed;
}

void UpdateRoad::quit() {
  // As the application quits: a running worker is given its bounded time and
  // then interrupted, so that nothing outlives the engine.
  if (call("isUpdateRunning", m_config.isUpdateRunning())) {
    say("An update is still running: asking it to end.");
    m_config.applicationCloseRequest();
  }
}

bool UpdateRoad::attempt(bool firstAttempt, const std::string& updatedSerial) {
  if (!enterUpdateMode(firstAttempt)) {
    say("The keyboard did not come back: it could not be switched into update mode.");
    return false;
  }
  const int word = update();
  if (word != 1) {
    say(std::string("The update failed: ") + resultText(word) + ".");
    return false;
  }
  if (!findKeyboard()) {
    say("The keyboard is not back yet; looking again in " +
        std::to_string(m_settings.reconnectPause.count()) + " ms.");
    std::this_thread::sleep_for(m_settings.reconnectPause);
    m_pauses += m_settings.reconnectPause;
    if (!findKeyboard()) {
      say("The keyboard did not come back after the update.");
      return false;
    }
  }
  const Versions after = readVersions();
  // The versions of another keyboard say nothing about the one updated.
  if (after.info.serialNumber != updatedSerial) {
    say("The keyboard found after the update is not the one updated: serial \"" +
        GP::StringUtil::printable(after.info.serialNumber) + "\" instead of \"" +
        GP::StringUtil::printable(updatedSerial) + "\".");
    return false;
  }
  if (!FirmwareUpdaterConfig::runsNewestFirmware(after.info, after.updateAvailable)) {
    say("The keyboard does not report the newest firmware after the update.");
    return false;
  }
  return true;
}

bool UpdateRoad::findKeyboard() { return call("connectInNormalMode", m_config.connectInNormalMode()); }

UpdateRoad::Versions UpdateRoad::readVersions() {
  Versions versions;
  m_config.getDeviceInfo(versions.info, versions.installed, versions.newest, versions.updateAvailable);
  // The serial number is the device's own text: shown, never obeyed.
  say("getDeviceInfo: serial \"" + GP::StringUtil::printable(versions.info.serialNumber) + "\", installed \"" +
      versions.installed + "\", newest \"" + versions.newest +
      "\", update available: " + yesNo(versions.updateAvailable));
  return versions;
}

bool UpdateRoad::enterUpdateMode(bool firstAttempt) {
  if (firstAttempt) {
    if (call("resetIntoUpdateMode", m_config.resetIntoUpdateMode())) return true;
    say("The keyboard did not come back in update mode: looking for it as RETRY does.");
  }
  if (findInUpdateMode()) return true;
  return call("connectInNormalMode", m_config.connectInNormalMode()) &&
         call("resetIntoUpdateMode", m_config.resetIntoUpdateMode());
}

bool UpdateRoad::findInUpdateMode() {
  LateKeyboardSearch search(m_config, LateKeyboardSearch::Clock::now, m_settings.updateModeWait);
  LateKeyboardSearch::eLook look = search.look();
  if (look == LateKeyboardSearch::eLook::eLookAgain) {
    say("Looking for the keyboard in update mode for up to " + std::to_string(m_settings.updateModeWait.count()) +
        " ms.");
  }
  while (look == LateKeyboardSearch::eLook::eLookAgain) {
    std::this_thread::sleep_for(m_settings.updateModePoll);
    look = search.look();
  }
  return call("connectInUpdateMode", look == LateKeyboardSearch::eLook::eFound);
}

int UpdateRoad::update() {
  // The worker stores the word once, atomically; it is read the same way.
  std::atomic_ref<int> word(m_resultWord);
  word.store(0);
  const bool started = m_config.performUpdate(m_resultWord);
  say(std::string("performUpdate: ") + (started ? "started" : "not started") + ", result word " +
      std::to_string(word.load()));
  if (!started) return word.load() != 0 ? word.load() : -1;

  const auto startedAt = std::chrono::steady_clock::now();
  const auto deadline = startedAt + m_settings.updateDeadline;
  int value = 0;
  while ((value = word.load()) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(m_settings.pollInterval);
  }
  const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - startedAt).count() / 100;
  say("Result word " + std::to_string(value) + " after " + std::to_string(tenths / 10) + "." +
      std::to_string(tenths % 10) + " s: " + resultText(value) + ".");
  return value;
}

bool UpdateRoad::call(const char* step, bool result) {
  say(std::string(step) + ": " + (result ? "true" : "false"));
  return result;
}

void UpdateRoad::say(const std::string& line) { m_out << "update-road: " << line << std::endl; }

}  // namespace QV
