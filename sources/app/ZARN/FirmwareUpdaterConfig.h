#pragma once

#include <string>

#include <boost/function.hpp>

#include "QV/QDV2/USBDeviceInfo.h"
#include "StandaloneWindowFwd.h"

namespace QV {

// What joins the updater's user interface to the update engine: one callback
// per engine operation, set by the application module when it starts. The
// interface calls them and never the engine itself. Calling a callback that
// was never set raises boost::bad_function_call.
//
// Thread: the main thread.
class FirmwareUpdaterConfig {
 public:
  FirmwareUpdaterConfig();
  ~FirmwareUpdaterConfig();

  boost::function<bool()> connectInNormalMode;
  boost::function<bool()> resetIntoUpdateMode;
  boost::function<bool()> connectInUpdateMode;
  // The result word stays the caller's; it is written from the update worker,
  // so the caller reads it with std::atomic_ref<int>(word).load().
  boost::function<bool(int& updateResult)> performUpdate;
  boost::function<void(QDV2::USBDeviceInfo& info, std::string& installed, std::string& newest,
                       bool& updateAvailable)>
      getDeviceInfo;
  boost::function<bool()> isUpdateRunning;
  boost::function<void(QTK::Window<UIA::StandaloneWindow>* window)> createDebugWindow;
  boost::function<void()> applicationCloseRequest;
  // The user asked for a new scan: until then the engine only ever connects
  // the keyboard it showed.
  boost::function<void()> forgetKeyboard;
  // Whether this build has firmware for the keyboard shown. One with
  // placeholder images has it only for the simulated keyboard; the engine
  // refuses to switch or write any other, so the user is told why before.
  boost::function<bool()> hasFirmwareForKeyboard;

  // Whether a keyboard read with getDeviceInfo (its `info` and
  // `updateAvailable`) runs the newest firmware, the one rule by which an
  // update is judged a success. It must be back in normal mode, on the newest
  // main firmware, with no update due: getDeviceInfo offers the update to any
  // keyboard in update mode, and a second image newer than ours is never
  // written and is no reason to fail. The revision texts are no guide, since
  // such a keyboard shows "69 / 14" beside "69 / 13".
  static bool runsNewestFirmware(const QDV2::USBDeviceInfo& info, bool updateAvailable);
};

}  // namespace QV
