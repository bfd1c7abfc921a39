#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include <boost/thread/thread.hpp>

#include "FirmwareImages.h"
#include "QV/QDV2/DFUDevice.h"
#include "QV/QDV2/USBDeviceInfo.h"
#include "QV/QDV2/USBDeviceSighting.h"
#include "StandaloneWindowFwd.h"

namespace QV {

// The update engine: finds one of the keyboards, tells which firmware it runs
// and whether an update is due, switches it into update mode and writes the
// compiled-in images on a worker thread, whose only output is the result word
// handed to performUpdate: 0 running, 1 written, -1 no update was possible,
// -2 a write failed.
//
// Thread: every operation runs on the main thread except flashFirmwares, the
// worker's body. While the worker runs it owns the device; the main thread then
// only asks isUpdateRunning or applicationCloseRequest, and the other
// operations refuse to touch the device. The result word is stored once, as an
// atomic store (std::atomic_ref<int>), so its owner reads it with
// std::atomic_ref<int>(word).load().
//
// Derived only by tests, which substitute the firmware table.
class ZARNUpdaterUpgradeLogic {
 public:
  // The main firmware revision of the compiled-in main images, compared with
  // the revision the keyboard reports as its release number.
  static constexpr std::uint16_t newestMainFirmwareVersion = 69;
  // The custom-image type of the second image in the keyboards' vendor requests.
  static constexpr std::uint8_t kSecondImageType = 1;
  // The second-image revision compiled in for the keyboard with `productId`.
  static std::uint32_t newestSecondImageVersion(std::uint16_t productId);

  ZARNUpdaterUpgradeLogic();
  // Stops a running worker and waits for it: it is interrupted at its next
  // wait or request and ends without storing its result, after giving the
  // keyboard a few seconds at most to be brought to idle. Every wait of the
  // worker is bounded, and so is every USB request, so this returns.
  ~ZARNUpdaterUpgradeLogic();
  ZARNUpdaterUpgradeLogic(const ZARNUpdaterUpgradeLogic&) = delete;
  ZARNUpdaterUpgradeLogic& operator=(const ZARNUpdaterUpgradeLogic&) = delete;

  // One scan for a keyboard of the maker with a DFU interface and a firmware
  // row. The first scan, and the first after forgetKeyboard(), chooses one
  // such keyboard, one in update mode before any in normal mode, then one
  // that needs the update before one that does not, and makes it the chosen
  // keyboard: the one the user is shown. Choosing sends the keyboards nothing
  // but reads. Every later scan connects only the chosen keyboard, as
  // QDV2::USBDeviceSighting::follow tells it from the others (its family and
  // serial number, and its place on the bus where the serial number does not
  // tell it apart, or where another keyboard of its family has shown that
  // serial number since it was chosen), so that no other keyboard is ever
  // switched or written in its stead. Whether one is connected.
  bool connectInNormalMode();
  // The user asked for a new scan: the next connectInNormalMode may choose
  // any keyboard. Nothing while the worker runs.
  void forgetKeyboard();
  // Whether this build has firmware for the keyboard last connected. A build
  // with placeholder images has none for any keyboard but the simulated one,
  // and sends such a keyboard nothing that would change it: the three
  // operations below refuse it, saying why on the standard error stream.
  bool hasFirmwareForKeyboard() const;
  // Switches the connected keyboard into update mode and finds it again by its
  // serial number. Whether it is connected in update mode with a usable
  // transfer size.
  bool resetIntoUpdateMode();
  // Finds the keyboard last connected again in update mode, in one scan and
  // without waiting for it; one still connected in normal mode is let go
  // first.
  bool connectInUpdateMode();
  // Starts the worker, with `updateResult` set to 0 first. False, with -1 in
  // the word and no thread, when the chosen keyboard is not connected in
  // update mode, when a worker is still running, or when this build has no
  // firmware for it.
  bool performUpdate(int& updateResult);
  // The connected keyboard's identity and revisions, as texts for the user,
  // and whether an update is due. Not connected: info.version 0, no update,
  // `installed` unchanged. A keyboard in update mode, which may still be at
  // work on a block an earlier attempt left it with, is sent nothing: its
  // installed revision is its release number alone, and the worker reads its
  // second image's version once it is idle.
  void getDeviceInfo(QDV2::USBDeviceInfo& info, std::string& installed, std::string& newest,
                     bool& updateAvailable);
  // Whether the worker still runs after waiting up to 500 ms for it.
  bool isUpdateRunning();
  // The engine has no debug window.
  void createDebugWindow(QTK::Window<UIA::StandaloneWindow>* window);
  // Waits up to 500 ms for the worker; then interrupts it and returns. From
  // then on the worker never stores its result, so the word's owner may go.
  void applicationCloseRequest();

  // The worker's body: writes the images, returns the keyboard to normal mode
  // and stores the result in `updateResult`, unless it was interrupted.
  void flashFirmwares(int& updateResult);

 protected:
  // The firmware row of the family of `productId`; null when there is none.
  const FW::FirmwareImageEntry* findImages(std::uint16_t productId) const;

  QDV2::DFUDevice m_device;
  boost::thread m_updateThread;
  // Whether the second image is due, as getDeviceInfo read it from a
  // keyboard in normal mode; empty where it was not read, as a keyboard in
  // update mode is sent nothing before the worker has it. Read by the worker.
  std::optional<bool> m_secondImageDue;

  // What the worker writes.
  std::span<const FW::FirmwareImageEntry> m_firmwareTable{FW::arrFW};

 private:
  friend class ZARNUpdaterAppModule;

  // True while a worker is at work. A worker that has finished is joined here,
  // so its handle is empty afterwards.
  bool workerBusy();
  // Steps 1 to 5 of the worker: the writes, the return to normal mode and the
  // settling wait. The result word's value.
  int writeFirmwares();
  bool writeSecondImage(const FW::FirmwareImageEntry& images);
  // Whether the connected keyboard's second image is behind ours: as
  // getDeviceInfo found it, or else asked of the keyboard now.
  bool secondImageBehindOurs();
  // From now on a running worker keeps its result to itself: the word's owner
  // may be destroyed at any moment.
  void abandonResult();
  // Interrupts a running worker and waits until it has ended.
  void stopWorker();
  // True, after saying why, when this build has no firmware for the keyboard.
  bool refusedForWantOfFirmware() const;

  // The keyboard the user was shown, and the only one the engine may change
  // until the user asks for a new scan. Its place is the device's: where the
  // keyboard was last connected, wherever it was followed to.
  struct ChosenKeyboard {
    bool chosen = false;
    std::uint16_t family = 0;
    std::string serialNumber;
  };
  // Of the devices `seen` in one scan, the chosen keyboard, as
  // QDV2::USBDeviceSighting::follow tells it; notes in the device a namesake
  // the scan shows. Null when none can be told to be it.
  const QDV2::USBDeviceSighting* followChosen(std::span<const QDV2::USBDeviceSighting> seen);
  // The chosen keyboard is now the one connected, chosen among the devices
  // `seen` in one scan.
  void chooseConnectedKeyboard(std::span<const QDV2::USBDeviceSighting> seen);
  // The revision of the connected keyboard's second image, asked once while
  // it stays connected; 0 when it cannot tell.
  std::uint32_t installedSecondImageVersion();
  // Whether a keyboard with `info` and second image `installedSecond` is due
  // an update: one in update mode always is.
  static bool isUpdateDue(const QDV2::USBDeviceInfo& info, std::uint32_t installedSecond, bool inUpdateMode);
  // Connects the device to `keyboard`, found again in one more scan, when it
  // has a DFU interface. Whether it did.
  bool connectKeyboard(const QDV2::USBDeviceSighting& keyboard);
  // Whether a device with `info` (read with its strings) has the chosen
  // keyboard's family and serial number, in either mode; any has when none is
  // chosen.
  bool isChosenKeyboard(const QDV2::USBDeviceInfo& info) const;

  ChosenKeyboard m_chosen;
  // The second image's revision as the keyboard connected now told it (0 when
  // it could not), until the next connection; see installedSecondImageVersion.
  std::optional<std::uint32_t> m_secondVersionRead;
  std::mutex m_resultMutex;
  bool m_resultAbandoned = false;
  std::atomic<bool> m_workerFinished{false};
};

}  // namespace QV
