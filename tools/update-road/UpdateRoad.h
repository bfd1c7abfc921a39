// The update road without a window: the update wizard's own steps
// (UpdateWizardFlow) run on a host that waits out their timers in turn, with
// every call of the updater configuration's callbacks and every page told as
// a line. Where the window waits for a click, the road clicks as a user
// would: UPDATE on the page offering the update, and RETRY, as often as it
// was given retries, on the pages asking for it.
//
// Thread: the caller's, which plays the wizard's main thread; the engine runs
// its worker itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>

#include "FirmwareUpdaterConfig.h"
#include "UpdateWizardFlow.h"

namespace QV {

class UpdateRoad : private UpdateWizardFlow::Host {
 public:
  using Clock = std::chrono::steady_clock;

  struct Settings {
    // Further attempts after a failed one, each as the wizard's RETRY makes it.
    unsigned retries = 0;
    // How long one update may run before the road gives up on it. Far above
    // any real download, so that it only ends a hung worker.
    std::chrono::milliseconds updateDeadline{std::chrono::minutes(10)};
    // How the road tells the time and waits for the wizard's timers; empty:
    // the steady clock and real sleeps. Tests give a clock that the waits
    // move on.
    std::function<Clock::time_point()> now;
    std::function<void(Clock::duration)> sleep;
    // Whether the road has been asked to end (the session's signals, as they
    // end the window): checked before every wait and after it, so `sleep`
    // should return early once it is. Empty: never.
    std::function<bool()> endAsked;
  };

  enum class Outcome {
    UpToDate,    // the keyboard already had the newest firmware, or was found to have it by a retry
    Updated,     // an update brought it to the newest firmware
    NoKeyboard,  // no keyboard was found
    Failed,      // every attempt failed, or the keyboard did not end up current
    NoFirmware,  // this build has no firmware for the keyboard, which was left alone
    Ended,       // asked to end before the road was over; quit() then ends an update as the window's quit does
  };

  // `config` must have its callbacks bound for as long as the road runs.
  UpdateRoad(FirmwareUpdaterConfig& config, Settings settings, std::ostream& out);

  Outcome run();

  // What the application does when it quits: when an update still runs, the
  // engine is asked to end it. Call before the engine goes.
  void quit();

  // 0 for a keyboard that ends at the newest firmware, else 1.
  static int exitCode(Outcome outcome);

  // The time the road waited on the wizard's timers, but for those that
  // poll the result word: the pauses the wizard makes on purpose.
  std::chrono::nanoseconds pauses() const { return m_pauses; }

 private:
  // UpdateWizardFlow::Host
  void startFlowTimer(int ticks, int id) override;
  void pageChanged() override;
  void quitRequested() override {}
  Clock::time_point now() const override;

  // Binds the wizard's configuration to the engine's callbacks, each call
  // told.
  void traceCallbacks();
  // Fires the wizard's timers in turn until none is pending; false when the
  // update ran past its deadline, or when the road was asked to end.
  bool runTimers();
  // Whether the road was asked to end; told once.
  bool endAsked();
  // The outcome of the page the wizard rests on, or none while the road
  // goes on from it (clicking UPDATE or RETRY).
  bool settle(Outcome& outcome);
  // Tells the result of a call. During a search for a keyboard back late
  // its misses are counted, and told once the search ends.
  bool told(const char* step, bool result);
  // Tells the misses of the search that has just ended.
  void endSearch();
  // Whether the wizard is writing the images now.
  bool writing() const;
  // Tells what connectInNormalMode found, once getDeviceInfo says in which
  // mode, or once another call comes first.
  void tellFound(const QDV2::USBDeviceInfo* info);
  void say(const std::string& line);

  FirmwareUpdaterConfig& m_engine;
  Settings m_settings;
  std::ostream& m_out;
  // The wizard's configuration: m_engine's callbacks, told.
  FirmwareUpdaterConfig m_config;
  UpdateWizardFlow m_flow;
  // The pending timers of the wizard, by id.
  std::map<int, Clock::time_point> m_timers;
  std::chrono::nanoseconds m_pauses{0};
  unsigned m_attempts = 0;
  // Whether the page shown last was the writing, to tell when it ends.
  bool m_writingShown = false;
  Clock::time_point m_writingSince;
  // The serial number of the keyboard being updated.
  std::string m_updatedSerial;
  bool m_foundUntold = false;
  bool m_lastFound = false;
  bool m_searching = false;
  bool m_ended = false;
  const char* m_missedStep = nullptr;
  std::size_t m_misses = 0;
};

}  // namespace QV
