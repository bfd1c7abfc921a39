#include "ZARNUpdaterUpgradeLogic.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <vector>

#include <boost/chrono.hpp>
#include <boost/format.hpp>

#include "QV/GP/Format.h"
#include "QV/QDV2/DFU.h"
#include "QV/QDV2/USBDeviceDB.h"
#include "QV/QDV2/USBDeviceSighting.h"

namespace QV {
namespace {

using QDV2::DFUDevice;
using QDV2::USBDeviceDB;

constexpr boost::chrono::milliseconds kJoinWait{500};
// After leaving update mode the keyboard restarts; it is given this long
// before the caller looks for it again.
constexpr boost::chrono::seconds kSettleWait{5};
// After a quit the keyboard is given this long to finish the block in hand
// (announced for at most a second) and to be brought to idle; a keyboard that
// stays busy longer is left as it is once the time it last announced (a
// second at most) is over, so that the worker ends within two seconds of
// being interrupted and the application within three of the quit. No request
// reaches the keyboard before the time it announced.
constexpr std::chrono::milliseconds kIdlePatienceAfterQuit{1000};
constexpr std::uint32_t kNewestSecondImageVersion = 13;
constexpr std::uint32_t kNewestSecondImageVersion88 = 14;

// The revision texts are shown to the user: should a template ever not match
// its arguments, the template itself is shown rather than losing the page.
template <typename T>
std::string revisionText(const char* format, const T& value) {
  try {
    return GP::DETAIL::BasicFormat<char, T>(format, value);
  } catch (const boost::io::format_error&) {
    return format;
  }
}

template <typename A, typename B>
std::string revisionText(const char* format, const A& first, const B& second) {
  try {
    return GP::DETAIL::FormatApply<char>::apply<A, B>(boost::format(format), first, second);
  } catch (const boost::io::format_error&) {
    return format;
  }
}

void setResult(int& updateResult, int value) {
  std::atomic_ref<int>(updateResult).store(value, std::memory_order_release);
}

bool connectedInUpdateMode(const DFUDevice& device) {
  return device.isConnected() && device.mode() == DFUDevice::kModeDFU;
}

}  // namespace

std::uint32_t ZARNUpdaterUpgradeLogic::newestSecondImageVersion(std::uint16_t productId) {
  return (productId & USBDeviceDB::kFamilyMask) == USBDeviceDB::kKeyboard88ProductId
             ? kNewestSecondImageVersion88
             : kNewestSecondImageVersion;
}

ZARNUpdaterUpgradeLogic::ZARNUpdaterUpgradeLogic() {
  // The device's waits (status polls, manifestation steps, the pause before
  // looking for the keyboard in update mode) and its requests become
  // interruption points of the worker, so that stopping it never waits out a
  // whole download, nor a keyboard that keeps answering busy without asking
  // for a wait.
  m_device.setSleepFunction([](std::chrono::nanoseconds duration) {
    boost::this_thread::sleep_for(boost::chrono::nanoseconds(duration.count()));
  });
  m_device.setInterruptionPoint([] { boost::this_thread::interruption_point(); });
}

ZARNUpdaterUpgradeLogic::~ZARNUpdaterUpgradeLogic() {
  stopWorker();
}

void ZARNUpdaterUpgradeLogic::stopWorker() {
  if (!m_updateThread.joinable()) {
    return;
  }
  abandonResult();
  m_updateThread.interrupt();
  m_updateThread.join();
}

const FW::FirmwareImageEntry* ZARNUpdaterUpgradeLogic::findImages(std::uint16_t productId) const {
  const std::uint16_t family = productId & USBDeviceDB::kFamilyMask;
  for (const FW::FirmwareImageEntry& entry : m_firmwareTable) {
    if (entry.productId == family) {
      return &entry;
    }
  }
  return nullptr;
}

bool ZARNUpdaterUpgradeLogic::workerBusy() {
  if (!m_updateThread.joinable()) {
    return false;
  }
  if (!m_workerFinished.load(std::memory_order_acquire)) {
    return true;
  }
  // The worker has nothing left to do but return.
  m_updateThread.join();
  return false;
}

bool ZARNUpdaterUpgradeLogic::connectInNormalMode() {
  if (workerBusy()) {
    return false;
  }
  // Every device of the maker, in either mode: which one is the chosen
  // keyboard depends on all the keyboards present.
  const std::vector<QDV2::USBDeviceSighting> seen = QDV2::USBDeviceSighting::scan(USBDeviceDB::QVUSBDevices);
  if (m_chosen.chosen) {
    const QDV2::USBDeviceSighting* found = followChosen(seen);
    if (found != nullptr) {
      connectKeyboard(*found);
    }
    return m_device.isConnected();
  }
  // The keyboard the user most likely wants is the one that needs the
  // update. A keyboard in update mode runs no firmware, so it goes first;
  // then one whose main firmware, as its device descriptor tells, is older
  // than ours. Among equals the last reported is tried first. One that did
  // not tell the scan who it is is not asked a second time, which would hold
  // the user as long again: it is taken at a later scan, once it answers.
  std::vector<const QDV2::USBDeviceSighting*> keyboards;
  for (const QDV2::USBDeviceSighting& sighting : seen) {
    if (sighting.stringsRead && findImages(sighting.info.productId) != nullptr) {
      keyboards.push_back(&sighting);
    }
  }
  std::reverse(keyboards.begin(), keyboards.end());
  const auto rank = [](const QDV2::USBDeviceSighting* keyboard) {
    if (USBDeviceDB::isUpdateModeProductId(keyboard->info.productId)) {
      return 0;
    }
    return keyboard->info.version < newestMainFirmwareVersion ? 1 : 2;
  };
  std::stable_sort(keyboards.begin(), keyboards.end(),
                   [&rank](const QDV2::USBDeviceSighting* a, const QDV2::USBDeviceSighting* b) {
                     return rank(a) < rank(b);
                   });
  // One on our main firmware may still lack our second image, which only the
  // keyboard itself can tell: it is asked, a read that changes nothing, and
  // taken when it lacks it. Where none needs the update, the first connected
  // is the one shown.
  const QDV2::USBDeviceSighting* firstConnected = nullptr;
  const QDV2::USBDeviceSighting* lastConnected = nullptr;
  for (const QDV2::USBDeviceSighting* keyboard : keyboards) {
    if (!connectKeyboard(*keyboard)) {
      continue;
    }
    lastConnected = keyboard;
    if (firstConnected == nullptr) {
      firstConnected = keyboard;
    }
    const QDV2::USBDeviceInfo& info = m_device.deviceInfo();
    const bool inUpdateMode = m_device.mode() == DFUDevice::kModeDFU;
    const std::uint32_t installedSecond =
        !inUpdateMode && info.version == newestMainFirmwareVersion ? installedSecondImageVersion() : 0;
    if (isUpdateDue(info, installedSecond, inUpdateMode)) {
      chooseConnectedKeyboard(seen);
      return true;
    }
  }
  // Should the first one have gone since, the one still connected is as good.
  if (firstConnected != lastConnected) {
    connectKeyboard(*firstConnected);
  }
  if (firstConnected != nullptr && m_device.isConnected()) {
    chooseConnectedKeyboard(seen);
    return true;
  }
  return m_device.isConnected();
}

void ZARNUpdaterUpgradeLogic::chooseConnectedKeyboard(std::span<const QDV2::USBDeviceSighting> seen) {
  const QDV2::USBDeviceInfo& info = m_device.deviceInfo();
  m_chosen = {true, std::uint16_t(info.productId & USBDeviceDB::kFamilyMask), info.serialNumber};
  // A keyboard chosen beside a namesake is told from it by its place alone
  // until the user chooses again.
  m_device.setNamesakeSeen(
      QDV2::USBDeviceSighting::isSerialNumberShared(seen, m_chosen.family, m_chosen.serialNumber));
}

void ZARNUpdaterUpgradeLogic::forgetKeyboard() {
  if (workerBusy()) {
    return;
  }
  m_chosen = ChosenKeyboard();
  m_secondImageDue.reset();
  m_secondVersionRead.reset();
  // What the next scan finds, and only that, is the keyboard to show.
  m_device.disconnect();
}

const QDV2::USBDeviceSighting* ZARNUpdaterUpgradeLogic::followChosen(
    std::span<const QDV2::USBDeviceSighting> seen) {
  // The device remembers where the chosen keyboard was last connected,
  // wherever it was followed to since, and whether a namesake was seen.
  bool namesakeSeen = m_device.namesakeSeen();
  const QDV2::USBDeviceSighting* found = QDV2::USBDeviceSighting::follow(
      seen, m_chosen.family, m_chosen.serialNumber, m_device.location(), namesakeSeen);
  m_device.setNamesakeSeen(namesakeSeen);
  return found;
}

bool ZARNUpdaterUpgradeLogic::connectKeyboard(const QDV2::USBDeviceSighting& keyboard) {
  m_secondVersionRead.reset();
  // Only a device with a DFU interface can be updated; a probe keeps a device
  // without one from replacing the keyboard already connected.
  return keyboard.reach(USBDeviceDB::QVUSBDevices, [this](const QDV2::USBDeviceOSHandle& handle) {
    {
      DFUDevice probe;
      if (!probe.connect(handle)) {
        return false;
      }
    }
    return m_device.connect(handle);
  });
}

bool ZARNUpdaterUpgradeLogic::isChosenKeyboard(const QDV2::USBDeviceInfo& info) const {
  return !m_chosen.chosen || ((info.productId & USBDeviceDB::kFamilyMask) == m_chosen.family &&
                              info.serialNumber == m_chosen.serialNumber);
}

void ZARNUpdaterUpgradeLogic::getDeviceInfo(QDV2::USBDeviceInfo& info, std::string& installed,
                                            std::string& newest, bool& updateAvailable) {
  newest = revisionText("%d", int(newestMainFirmwareVersion));
  if (workerBusy() || !m_device.isConnected()) {
    info.version = 0;
    updateAvailable = false;
    return;
  }
  info = m_device.deviceInfo();
  const bool inUpdateMode = m_device.mode() == DFUDevice::kModeDFU;
  const std::uint32_t newestSecond = newestSecondImageVersion(info.productId);
  m_secondImageDue.reset();
  if (inUpdateMode) {
    installed = revisionText("%d", info.version);
    updateAvailable = isUpdateDue(info, 0, inUpdateMode);
    return;
  }
  const std::uint32_t installedSecond = installedSecondImageVersion();
  if (info.version == newestMainFirmwareVersion && installedSecond != newestSecond) {
    newest = revisionText("%d / %d", int(newestMainFirmwareVersion), newestSecond);
    installed = revisionText("%d / %d", info.version, installedSecond);
  } else {
    installed = revisionText("%d", info.version);
  }
  m_secondImageDue = installedSecond < newestSecond;
  updateAvailable = isUpdateDue(info, installedSecond, inUpdateMode);
}

std::uint32_t ZARNUpdaterUpgradeLogic::installedSecondImageVersion() {
  // Asked once a connection: choosing a keyboard and filling its page take the
  // same answer, so that a keyboard that leaves the read unanswered holds the
  // window one request's time, not two. A keyboard that cannot tell its
  // second image's revision gets it written.
  if (!m_secondVersionRead) {
    std::uint32_t installedSecond = 0;
    m_device.getCustomImageVersion(kSecondImageType, installedSecond);
    m_secondVersionRead = installedSecond;
  }
  return *m_secondVersionRead;
}

bool ZARNUpdaterUpgradeLogic::isUpdateDue(const QDV2::USBDeviceInfo& info, std::uint32_t installedSecond,
                                          bool inUpdateMode) {
  // A keyboard found in update mode runs its loader, not its firmware: it was
  // left there by a power cut or by a quit during an update, whatever the
  // versions it reports. Only an update brings it back.
  return inUpdateMode || info.version < newestMainFirmwareVersion ||
         (info.version == newestMainFirmwareVersion && installedSecond < newestSecondImageVersion(info.productId));
}

bool ZARNUpdaterUpgradeLogic::hasFirmwareForKeyboard() const {
  return !FW::imagesArePlaceholders() || FW::isSimulatedKeyboard(m_device.deviceInfo());
}

bool ZARNUpdaterUpgradeLogic::refusedForWantOfFirmware() const {
  if (hasFirmwareForKeyboard()) {
    return false;
  }
  std::fputs(
      "ZRV Firmware Updater: this build carries placeholder firmware images and only updates "
      "the simulated keyboard; the keyboard is left as it is. Configure with "
      "-DQV_FIRMWARE_DIR=/path/to/images to build one for a real keyboard.\n",
      stderr);
  return true;
}

bool ZARNUpdaterUpgradeLogic::resetIntoUpdateMode() {
  // A keyboard in update mode does not work as a keyboard: one that will not
  // be written must not be switched.
  if (workerBusy() || !m_device.isConnected() || refusedForWantOfFirmware()) {
    return false;
  }
  if (m_device.mode() == DFUDevice::kModeDFU) {
    return true;
  }
  // A namesake plugged in since the last scan is noted before the keyboard
  // leaves the bus, where the namesake could be the only one to bear its
  // serial number.
  if (m_chosen.chosen) {
    followChosen(QDV2::USBDeviceSighting::scan(USBDeviceDB::QVUSBDevices, &m_device));
  }
  if (!m_device.sendDFUDetach() || !m_device.reconnectInDFUMode()) {
    return false;
  }
  return m_device.wTransferSize() != 0;
}

bool ZARNUpdaterUpgradeLogic::connectInUpdateMode() {
  if (workerBusy()) {
    return false;
  }
  const bool alreadyConnected = connectedInUpdateMode(m_device);
  // A look only scans: the keyboard is not waited for here, as the search
  // that looks again waits on the window's timer. One still connected in
  // normal mode (a switch that failed, or was answered with an error as the
  // keyboard left) is let go first, so that it is looked for where it is now,
  // in update mode should it have switched after all.
  if (!alreadyConnected && m_device.isConnected()) {
    m_device.disconnect();
  }
  if (!alreadyConnected && !m_device.reconnectInDFUMode()) {
    return false;
  }
  // Finding the keyboard only reads it; the keyboard found decides whether
  // it may be written.
  if (refusedForWantOfFirmware()) {
    return false;
  }
  return alreadyConnected || m_device.wTransferSize() != 0;
}

bool ZARNUpdaterUpgradeLogic::performUpdate(int& updateResult) {
  // A second worker would share the device with the first one.
  if (workerBusy() || !connectedInUpdateMode(m_device) || !isChosenKeyboard(m_device.deviceInfo())) {
    setResult(updateResult, -1);
    return false;
  }
  if (refusedForWantOfFirmware()) {
    setResult(updateResult, -1);
    return false;
  }
  setResult(updateResult, 0);
  {
    std::lock_guard<std::mutex> lock(m_resultMutex);
    m_resultAbandoned = false;
  }
  // The worker asks a keyboard found in update mode anew, once it is idle.
  m_secondVersionRead.reset();
  m_workerFinished.store(false, std::memory_order_release);
  // A thread that cannot be started raises boost::thread_resource_error.
  m_updateThread = boost::thread([this, &updateResult] { flashFirmwares(updateResult); });
  return true;
}

void ZARNUpdaterUpgradeLogic::flashFirmwares(int& updateResult) {
  int result = -2;
  try {
    result = writeFirmwares();
  } catch (const boost::thread_interrupted&) {
    // Stopped by the application's quit or by the destructor. A download cut
    // short is cancelled so that the loader takes the next one from the
    // start: the block in progress is let finish first, as the loader takes
    // no request while it writes one. That wait is short, bounded and must
    // not be cut short in turn. The result goes unreported, as its owner may
    // be gone.
    boost::this_thread::disable_interruption finishing;
    if (connectedInUpdateMode(m_device)) {
      QDV2::DFU::GetStatus status;
      m_device.bringToIdle(status, kIdlePatienceAfterQuit);
    }
    // A keyboard left saying it is busy stalls whatever reaches it before its
    // time is over, the next start's first look at it included, and is then
    // unreadable until its error is cleared: the updater ends after that time.
    m_device.waitOutBusyTime();
    m_device.disconnect();
    m_workerFinished.store(true, std::memory_order_release);
    return;
  } catch (const std::exception&) {
    // Out of memory, for instance: reported as a failed write, never left
    // at 0.
    m_device.disconnect();
  }
  {
    std::lock_guard<std::mutex> lock(m_resultMutex);
    if (!m_resultAbandoned) {
      setResult(updateResult, result);
    }
  }
  m_workerFinished.store(true, std::memory_order_release);
}

int ZARNUpdaterUpgradeLogic::writeFirmwares() {
  if (!connectedInUpdateMode(m_device)) {
    return -1;
  }
  const FW::FirmwareImageEntry* images = findImages(m_device.deviceInfo().productId);
  if (images == nullptr || images->mainImageSize > std::numeric_limits<std::uint32_t>::max() ||
      images->secondImageSize > std::numeric_limits<std::uint32_t>::max()) {
    return -1;
  }

  int result = 1;
  QDV2::DFU::GetStatus status;
  if (!m_device.writeImage(images->mainImage, std::uint32_t(images->mainImageSize), status) ||
      (secondImageBehindOurs() && !writeSecondImage(*images))) {
    // The download is given up: the loader is left idle, its error cleared,
    // so that the next attempt starts from a clean state. A loader that still
    // says it is busy was already given all the time a block or manifestation
    // may take.
    if (!m_device.saysBusy()) {
      m_device.bringToIdle(status);
    }
    result = -2;
  }
  // The keyboard is asked to run its application whatever happened; a
  // failure here changes nothing the result could say. One that still says
  // it is busy takes no request but the status request: it is left in update
  // mode as it is, where RETRY or the next start finds it and brings it to
  // idle, the settling time having outlasted the time it announced.
  if (!m_device.saysBusy()) {
    m_device.returnToAPPMode();
  }
  m_device.disconnect();
  boost::this_thread::sleep_for(kSettleWait);
  return result;
}

bool ZARNUpdaterUpgradeLogic::secondImageBehindOurs() {
  if (m_secondImageDue) {
    return *m_secondImageDue;
  }
  // The keyboard, found in update mode, is idle now that it has taken the
  // main image. A newer second image than ours is never taken back.
  return installedSecondImageVersion() < newestSecondImageVersion(m_device.deviceInfo().productId);
}

bool ZARNUpdaterUpgradeLogic::writeSecondImage(const FW::FirmwareImageEntry& images) {
  // A keyboard that is not manifestation tolerant restarts into its new
  // application at the end of the main image and is found again in normal
  // mode, where it refuses the second image: it goes back into update mode
  // for it.
  if (m_device.isConnected() && m_device.mode() == DFUDevice::kModeRunTime &&
      (!m_device.sendDFUDetach() || !m_device.reconnectInDFUMode())) {
    return false;
  }
  return m_device.writeCustom(images.secondImage, std::uint32_t(images.secondImageSize),
                              kSecondImageType);
}

bool ZARNUpdaterUpgradeLogic::isUpdateRunning() {
  if (!m_updateThread.joinable()) {
    return false;
  }
  return !m_updateThread.try_join_for(kJoinWait);
}

void ZARNUpdaterUpgradeLogic::createDebugWindow(QTK::Window<UIA::StandaloneWindow>*) {}

void ZARNUpdaterUpgradeLogic::applicationCloseRequest() {
  if (!m_updateThread.joinable() || m_updateThread.try_join_for(kJoinWait)) {
    return;
  }
  abandonResult();
  m_updateThread.interrupt();
}

void ZARNUpdaterUpgradeLogic::abandonResult() {
  std::lock_guard<std::mutex> lock(m_resultMutex);
  m_resultAbandoned = true;
}

}  // namespace QV
