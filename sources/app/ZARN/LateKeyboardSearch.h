#pragma once

#include <chrono>
#include <functional>

namespace QV {

class FirmwareUpdaterConfig;

// The search for a keyboard that comes back late in update mode. A keyboard
// may take longer to leave the bus and come back as its loader than the
// switch into update mode waits for it; one that did switch must then still
// be updated, as the user asked, rather than be left in update mode where it
// does not work as a keyboard. So the window and the road look for it a few
// seconds more, one scan at a time, before they give up on it.
//
// The search only decides: the caller waits `kInterval` between looks as it
// can, the road by sleeping and the window on a timer, so that the window is
// never held longer than one scan.
//
// Thread: the main thread, as the configuration's callbacks.
class LateKeyboardSearch {
 public:
  using Clock = std::chrono::steady_clock;

  // How long the keyboard is looked for, from the start of the search.
  static constexpr std::chrono::milliseconds kPatience{5000};
  // The pause between two looks.
  static constexpr std::chrono::milliseconds kInterval{250};

  enum class eLook {
    eFound,      // connected in update mode: the update may start
    eLookAgain,  // not yet, and there is time for another look after the pause
    eGivenUp,    // not found within the patience
  };

  // The search starts now, by `now`, the clock the caller waits by; `config`
  // must outlive it.
  LateKeyboardSearch(FirmwareUpdaterConfig& config, std::function<Clock::time_point()> now = Clock::now,
                     std::chrono::milliseconds patience = kPatience);

  // One scan for the keyboard in update mode (connectInUpdateMode), and what
  // to do next.
  eLook look();

 private:
  FirmwareUpdaterConfig& m_config;
  std::function<Clock::time_point()> m_now;
  Clock::time_point m_deadline;
};

}  // namespace QV
