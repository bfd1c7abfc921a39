#pragma once

#include <chrono>
#include <functional>

namespace QV {

class FirmwareUpdaterConfig;

// The one rule for a keyboard that comes back late: in update mode from the
// switch into it, or in normal mode from the update. A keyboard may take
// longer to leave the bus and come back than the step that sent it away
// waits for it. One that did switch must still be updated, as the user asked,
// rather than be left in update mode where it does not work as a keyboard;
// one that took the update must be judged by what it reports, rather than be
// shown as lost. So the window and the road look for it a few seconds more,
// one scan at a time, before they give up on it.
//
// The search only decides: the caller waits `kInterval` between looks on the
// wizard's timer (the road runs the wizard too), so that the window is never
// held longer than one scan.
//
// Thread: the main thread, as the configuration's callbacks.
class LateKeyboardSearch {
 public:
  using Clock = std::chrono::steady_clock;

  // Where the keyboard is coming back from.
  enum class eFrom {
    // The switch into update mode, whose own look (2.5 s after the keyboard
    // left) missed it: looked for in update mode.
    eSwitch,
    // The update, whose first look (once the worker has given the keyboard
    // 5 s to restart) missed it: looked for in normal mode.
    eUpdate,
  };

  // The pause between two looks.
  static constexpr std::chrono::milliseconds kInterval{250};
  // How long a keyboard that the switch did not find is looked for, from the
  // start of the search.
  static constexpr std::chrono::milliseconds kPatience{5000};
  // The pause the window always gave a keyboard that its first look after
  // the update missed, before its second and last look.
  static constexpr std::chrono::milliseconds kRestartPause{5000};
  // How long a keyboard that the first look after the update missed is
  // looked for: that pause and the switch's patience, so that one back
  // within about 15 s of leaving is found and judged.
  static constexpr std::chrono::milliseconds kPatienceAfterUpdate = kRestartPause + kPatience;

  static constexpr std::chrono::milliseconds patience(eFrom from) {
    return from == eFrom::eSwitch ? kPatience : kPatienceAfterUpdate;
  }

  enum class eLook {
    eFound,      // connected in the mode looked for
    eLookAgain,  // not yet, and there is time for another look after the pause
    eGivenUp,    // not found within the patience
  };

  // The search starts now, by `now`, the clock the caller waits by; `config`
  // must outlive it.
  LateKeyboardSearch(FirmwareUpdaterConfig& config, eFrom from,
                     std::function<Clock::time_point()> now = Clock::now);

  // One scan for the keyboard (connectInUpdateMode after the switch,
  // connectInNormalMode after the update), and what to do next.
  eLook look();
  eFrom from() const { return m_from; }

 private:
  FirmwareUpdaterConfig& m_config;
  eFrom m_from;
  std::function<Clock::time_point()> m_now;
  Clock::time_point m_deadline;
};

}  // namespace QV
