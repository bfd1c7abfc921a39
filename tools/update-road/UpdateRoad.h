// The update road without a window: drives one keyboard update through the
// updater configuration's callbacks alone, in the order the update wizard
// calls them, and tells every step with its texts and the result word.
//
// Thread: the caller's, which plays the wizard's main thread; the engine runs
// its worker itself.
#pragma once

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <string>

#include "LateKeyboardSearch.h"
#include "QV/QDV2/USBDeviceInfo.h"

namespace QV {

class FirmwareUpdaterConfig;

class UpdateRoad {
 public:
  struct Settings {
    // Further attempts after a failed one, each as the wizard's RETRY makes it.
    unsigned retries = 0;
    // How often the result word is read: the wizard's timer tick.
    std::chrono::milliseconds pollInterval{40};
    // How long one update may run before the road gives up on it. Far above
    // any real download, so that it only ends a hung worker.
    std::chrono::milliseconds updateDeadline{std::chrono::minutes(10)};
    // The pause before the second attempt to find the keyboard after an update.
    std::chrono::milliseconds reconnectPause{std::chrono::seconds(5)};
    // How long a retry, and a first attempt whose reset failed, keep looking
    // for the keyboard in update mode: it may come back late from the reset.
    std::chrono::milliseconds updateModeWait{LateKeyboardSearch::kPatience};
    // How often they look meanwhile.
    std::chrono::milliseconds updateModePoll{LateKeyboardSearch::kInterval};
  };

  enum class Outcome {
    UpToDate,    // the keyboard already had the newest firmware
    Updated,     // an update brought it to the newest firmware
    NoKeyboard,  // no keyboard was found
    Failed,      // every attempt failed, or the keyboard did not end up current
    NoFirmware,  // this build has no firmware for the keyboard, which was left alone
  };

  // `config` must have its callbacks bound for as long as the road runs.
  UpdateRoad(FirmwareUpdaterConfig& config, Settings settings, std::ostream& out);

  Outcome run();

  // What the application does when it quits: when an update still runs, the
  // engine is asked to end it. Call before the engine goes.
  void quit();

  // 0 for a keyboard that ends at the newest firmware, else 1.
  static int exitCode(Outcome outcome);

  // The time the road itself slept on purpose (the pause before finding the
  // keyboard a second time), not counting its polling.
  std::chrono::nanoseconds pauses() const { return m_pauses; }

 private:
  struct Versions {
    QDV2::USBDeviceInfo info;
    std::string installed;
    std::string newest;
    bool updateAvailable = false;
  };

  bool findKeyboard();
  Versions readVersions();
  // Looks for the keyboard in update mode until it is found or updateModeWait
  // has passed.
  bool findInUpdateMode();
  // The first attempt enters update mode by resetting the keyboard; a retry,
  // and a first attempt whose reset failed, look for it in update mode first.
  bool enterUpdateMode(bool firstAttempt);
  // Starts the worker and waits for its result word; 0 when it did not end in time.
  int update();
  // `updatedSerial` is the serial number of the keyboard being updated.
  bool attempt(bool firstAttempt, const std::string& updatedSerial);
  bool call(const char* step, bool result);
  void say(const std::string& line);

  FirmwareUpdaterConfig& m_config;
  Settings m_settings;
  std::ostream& m_out;
  std::chrono::nanoseconds m_pauses{0};
  // The result word handed to the engine. It belongs to the road, not to one
  // attempt, so that a worker still running when the road gives up never
  // writes to freed memory; quit() and the engine's end settle it.
  alignas(std::atomic_ref<int>::required_alignment) int m_resultWord = 0;
};

}  // namespace QV
