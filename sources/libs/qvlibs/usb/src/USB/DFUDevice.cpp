#include "QV/QDV2/DFUDevice.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "QV/QDV2/Logging.h"
#include "QV/QDV2/USBDescriptor.h"
#include "QV/QDV2/USBDeviceDB.h"
#include "QV/QDV2/USBDeviceOSImpl.h"
#include "QV/QDV2/USBDeviceSighting.h"

namespace QV::QDV2 {

namespace {

using namespace std::chrono_literals;

constexpr const char* kCategory = "DFUDevice";

// Request types: class or vendor request to the interface or the device.
constexpr std::uint8_t kClassOut = 0x21;
constexpr std::uint8_t kClassIn = 0xA1;
constexpr std::uint8_t kVendorOut = 0x41;
constexpr std::uint8_t kVendorDeviceIn = 0xC0;

// The keyboards' vendor requests.
constexpr std::uint8_t XMOS_DFU_RESETINTODFU = 0xF2;
constexpr std::uint8_t XMOS_DFU_RESETFROMDFU = 0xF3;
constexpr std::uint8_t kCustomImageBase = 28;  // bRequest of a write, wIndex of a version read
constexpr std::uint8_t kGetCustomImageVersion = 0xB3;
constexpr std::uint32_t kCustomBlockSize = 256;

// Descriptors of USB 2.0 and of the DFU 1.1 document.
constexpr std::uint8_t USB_DT_INTERFACE = 4;
constexpr std::uint8_t USB_DT_DFU = 0x21;
constexpr std::uint8_t kInterfaceDescriptorLength = 9;
constexpr std::uint8_t kDFUFunctionalDescriptorLength = 7;
constexpr std::uint8_t kApplicationSpecificClass = 0xFE;
constexpr std::uint8_t kDFUSubClass = 1;
constexpr std::uint8_t kDFUModeProtocol = 2;

// bmAttributes of the DFU functional descriptor.
constexpr std::uint8_t bitManifestationTolerant = 1u << 2;
constexpr std::uint8_t bitWillDetach = 1u << 3;

constexpr std::uint32_t kGetStatusLength = 6;

// How long the download waits for the device. A poll never waits longer than
// DFUDevice::kMaxPollWait whatever the device asks for. A device that keeps
// reporting dfuDNBUSY, or keeps manifesting, is given up on: the worker must
// end. A busy device is given up on by the clock (DFUDevice::busyPatience)
// and, should the clock be of no help, after a number of polls.
constexpr unsigned kMaxStatusPollsPerBlock = 10000;
constexpr std::chrono::milliseconds kToleratedManifestationStep = 1s;
constexpr std::chrono::milliseconds kRescanManifestationStep = 10s;
constexpr std::chrono::milliseconds kMinManifestationWait = 10s;
constexpr std::chrono::nanoseconds kReenumerationWait = 2500ms;

// Puts a value back when the scope that changed it is left, however it is.
template <typename T>
class Restore {
 public:
  Restore(T& place, T value) : m_place(place), m_saved(std::exchange(place, value)) {}
  ~Restore() { m_place = m_saved; }
  Restore(const Restore&) = delete;
  Restore& operator=(const Restore&) = delete;

 private:
  T& m_place;
  T m_saved;
};

void logRequestFailure(const char* format, USBDevice::Status status) {
  if (Logging::isEnabled(Logging::eLevel1, kCategory)) {
    Logging::detail::__trace__msg(Logging::eLevel1, format, kCategory, unsigned(status),
                                  USBDevice::statusAsString(status));
  }
}

std::uint16_t readLE16(const std::uint8_t* p) {
  return std::uint16_t(p[0] | (p[1] << 8));
}

const std::uint8_t* bytesOf(const USB::DescriptorHeader* d) {
  return reinterpret_cast<const std::uint8_t*>(d);
}

bool isDFUInterface(const USB::DescriptorHeader* d) {
  const std::uint8_t* b = bytesOf(d);
  return d->bDescriptorType == USB_DT_INTERFACE && d->bLength >= kInterfaceDescriptorLength &&
         b[5] == kApplicationSpecificClass && b[6] == kDFUSubClass && b[7] <= kDFUModeProtocol;
}

bool isDFUFunctionalDescriptor(const USB::DescriptorHeader* d) {
  return d->bDescriptorType == USB_DT_DFU && d->bLength >= kDFUFunctionalDescriptorLength;
}

// The keyboard followed was not told apart in a scan: each device found with
// its serial number is another keyboard, or cannot be told from one, and is
// never sent a request that could change it.
void logLeftAlone(std::span<const USBDeviceSighting> seen, std::uint16_t family, const std::string& serialNumber,
                  const USBDeviceLocation& left) {
  if (!Logging::isEnabled(Logging::eLevel2, nullptr)) {
    return;
  }
  for (const USBDeviceSighting& found : seen) {
    if ((found.info.productId & USBDeviceDB::kFamilyMask) == family && found.info.serialNumber == serialNumber) {
      Logging::detail::__trace__msg(Logging::eLevel2,
                                    "%s: the device found at %s is not told apart from another keyboard; the "
                                    "keyboard that left %s is not followed and the device is left alone\n",
                                    kCategory, found.location.text().c_str(), left.text().c_str());
    }
  }
}

// getNext() ends a walk both at the end of the block and at a length that does
// not fit; only the second is a fault of the device.
const USB::DescriptorHeader* nextDescriptor(const USB::DescriptorHeader* d, std::uint32_t& remaining,
                                            bool& malformed) {
  const std::uint32_t before = remaining;
  const USB::DescriptorHeader* next = USB::Descriptor::getNext(d, remaining);
  if (next == nullptr && before != d->bLength) {
    malformed = true;
  }
  return next;
}

USBDevice::Request dnloadRequest(const DFUClient::Payload& payload, std::uint16_t interfaceNumber) {
  USBDevice::Request request;
  request.bmRequestType = kClassOut;
  request.bRequest = DFU::DFU_DNLOAD;
  request.wValue = payload.blockNumber;
  request.wIndex = interfaceNumber;
  request.wLength = payload.length;
  // The transfer only reads from an OUT request's buffer.
  request.data = const_cast<std::uint8_t*>(payload.data);
  return request;
}

USBDevice::Request statusRequest(std::uint16_t interfaceNumber, std::uint8_t (&reply)[kGetStatusLength]) {
  USBDevice::Request request;
  request.bmRequestType = kClassIn;
  request.bRequest = DFU::DFU_GETSTATUS;
  request.wIndex = interfaceNumber;
  request.wLength = kGetStatusLength;
  request.data = reply;
  return request;
}

// The record of a DFU_GETSTATUS request that ended with `result`. A failed
// request, or a short reply, leaves errUNKNOWN and dfuERROR: a caller that
// ignores the verdict must still not see a good status.
bool decodeStatus(const USBDevice::Request& request, USBDevice::Status result,
                  const std::uint8_t (&reply)[kGetStatusLength], DFU::GetStatus& status) {
  status = DFU::GetStatus{};
  status.bStatus = DFU::errUNKNOWN;
  status.bState = DFU::dfuERROR;
  if (result != USBDevice::kStatusSuccess || request.bytesTransferred != kGetStatusLength) {
    logRequestFailure("%s: DFU_GETSTATUS failed with status 0x%x (%s)\n", result);
    return false;
  }
  status.bStatus = reply[0];
  status.bwPollTimeout = std::uint32_t(reply[1]) | (std::uint32_t(reply[2]) << 8) |
                         (std::uint32_t(reply[3]) << 16);
  status.bState = reply[4];
  status.iString = reply[5];
  return true;
}

}  // namespace

DFUDevice::DFUDevice() = default;

DFUDevice::DFUDevice(OSImpl* impl) : USBDevice(impl) {}

DFUDevice::~DFUDevice() = default;

void DFUDevice::setSleepFunction(SleepFunction sleep) {
  m_sleep = std::move(sleep);
}

void DFUDevice::setClockFunction(ClockFunction clock) {
  m_clock = std::move(clock);
}

void DFUDevice::setInterruptionPoint(InterruptionPoint point) {
  m_interruptionPoint = std::move(point);
}

void DFUDevice::sleep(std::chrono::nanoseconds duration) const {
  if (m_sleep) {
    m_sleep(duration);
  } else {
    std::this_thread::sleep_for(duration);
  }
}

std::chrono::steady_clock::time_point DFUDevice::now() const {
  return m_clock ? m_clock() : std::chrono::steady_clock::now();
}

void DFUDevice::interruptionPoint() const {
  if (m_interruptionPoint) {
    m_interruptionPoint();
  }
}

USBDevice::Wait DFUDevice::requestWait() const {
  Wait wait;
  wait.interruptionPoint = m_interruptionPoint;
  if (m_requestDeadline != std::chrono::steady_clock::time_point::max()) {
    // The device's clock may be a test's; the platform waits by the steady
    // clock, so the time left is what carries over.
    wait.deadline = std::chrono::steady_clock::now() + (m_requestDeadline - now());
  }
  return wait;
}

void DFUDevice::noteCutShortInFlight() {
  // Whatever the device said before, it is taken to be busy until a status
  // request, sent no sooner, says otherwise.
  if (m_busyState == kNotBusy) {
    m_busyState = DFU::dfuDNBUSY;
  }
  m_busyUntil = std::max(m_busyUntil, now() + kMaxPollWait);
}

USBDevice::Status DFUDevice::controlTransfer(Request& request) {
  interruptionPoint();
  // Once its time is over, a manifesting device may also be asked its state:
  // a tolerant one ends manifestation by itself, and tells its state then.
  const bool asked = request.bmRequestType == kClassIn &&
                     (request.bRequest == DFU::DFU_GETSTATUS || (request.bRequest == DFU::DFU_GETSTATE && m_busyState == DFU::dfuMANIFEST));
  if (saysBusy() && !(asked && now() >= m_busyUntil)) {
    return kStatusRefusedWhileBusy;
  }
  try {
    return USBDevice::controlTransfer(request, requestWait());
  } catch (...) {
    noteCutShortInFlight();
    throw;
  }
}

bool DFUDevice::connect(const USBDeviceOSHandle& handle) {
  return USBDevice::connect(handle, requestWait()) && m_mode != kModeNone;
}

bool DFUDevice::postConnect() {
  USBDevice::postConnect();
  // The fields describe the device just connected; what an earlier device
  // reported must not survive a connection whose descriptor cannot be read.
  clearDFUInfo();
  m_busyState = kNotBusy;
  m_busyUntil = {};
  return queryDFUInfo();
}

void DFUDevice::clearDFUInfo() {
  m_mode = kModeNone;
  m_bmAttributes = 0;
  m_wDetachTimeOut = 0;
  m_wTransferSize = 0;
  m_interfaceNumber = 0;
}

bool DFUDevice::queryDFUInfo() {
  // The descriptor belongs to the platform part until its next call, so the
  // walk holds the device lock.
  std::lock_guard<std::recursive_mutex> lock(osImpl()->mutex());
  std::uint32_t remaining = 0;
  const std::uint8_t* config = getConfigurationDescriptor(remaining);
  if (config == nullptr || remaining == 0) {
    return false;
  }

  bool malformed = false;
  const USB::DescriptorHeader* interface = nullptr;
  const USB::DescriptorHeader* functional = nullptr;
  const auto* d = reinterpret_cast<const USB::DescriptorHeader*>(config);
  if (remaining < sizeof(USB::DescriptorHeader) || d->bLength == 0 || d->bLength > remaining) {
    malformed = true;
    d = nullptr;
  }
  while (d != nullptr) {
    const USB::DescriptorHeader* next = nextDescriptor(d, remaining, malformed);
    if (next != nullptr && isDFUInterface(d) && isDFUFunctionalDescriptor(next)) {
      interface = d;
      functional = next;
      break;
    }
    // The descriptor after a DFU interface that is not its functional
    // descriptor is looked at in turn: it may be the next alternate setting.
    d = next;
  }

  if (interface == nullptr) {
    // The interface number goes too: requests must not reach an interface
    // of an earlier device.
    clearDFUInfo();
    return !malformed;
  }

  const std::uint8_t* i = bytesOf(interface);
  const std::uint8_t* f = bytesOf(functional);
  const std::uint8_t bInterfaceNumber = i[2];
  const std::uint8_t bInterfaceProtocol = i[7];
  m_interfaceNumber = bInterfaceNumber;
  if (bInterfaceProtocol == 0) {
    // Devices of the first DFU revision give no protocol: the loader offers
    // its DFU interface as interface 0, the application beside others.
    m_mode = bInterfaceNumber != 0 ? kModeRunTime : kModeDFU;
  } else {
    m_mode = bInterfaceProtocol == kDFUModeProtocol ? kModeDFU : kModeRunTime;
  }
  m_bmAttributes = f[2];
  m_wDetachTimeOut = readLE16(f + 3);
  m_wTransferSize = readLE16(f + 5);
  return true;
}

bool DFUDevice::sendClassRequest(std::uint8_t bRequest, std::uint16_t wValue, const char* failure) {
  Request request;
  request.bmRequestType = kClassOut;
  request.bRequest = bRequest;
  request.wValue = wValue;
  request.wIndex = m_interfaceNumber;
  const Status status = controlTransfer(request);
  if (status != kStatusSuccess) {
    logRequestFailure(failure, status);
    return false;
  }
  return true;
}

bool DFUDevice::writeDFUData(const DFUClient::Payload& payload) {
  if (payload.length > DFUClient::Payload::kMaxLength) {
    return false;
  }
  Request request = dnloadRequest(payload, m_interfaceNumber);
  const Status status = controlTransfer(request);
  if (status != kStatusSuccess) {
    logRequestFailure("%s: DFU_DNLOAD failed with status 0x%x (%s)\n", status);
    return false;
  }
  return true;
}

bool DFUDevice::getDFUStatus(DFU::GetStatus& status) {
  std::uint8_t reply[kGetStatusLength] = {};
  Request request = statusRequest(m_interfaceNumber, reply);
  const Status result = controlTransfer(request);
  if (!decodeStatus(request, result, reply, status)) {
    return false;
  }
  noteStatus(status);
  return true;
}

bool DFUDevice::getDFUState(std::uint8_t& state) {
  std::uint8_t reply = 0;
  Request request;
  request.bmRequestType = kClassIn;
  request.bRequest = DFU::DFU_GETSTATE;
  request.wIndex = m_interfaceNumber;
  request.wLength = 1;
  request.data = &reply;
  const Status result = controlTransfer(request);
  if (result != kStatusSuccess || request.bytesTransferred != 1) {
    logRequestFailure("%s: DFU_GETSTATE failed with status 0x%x (%s)\n", result);
    return false;
  }
  // A device past its busy states attends to requests again.
  if (reply != DFU::dfuDNBUSY && reply != DFU::dfuMANIFEST) {
    m_busyState = kNotBusy;
    m_busyUntil = {};
  }
  state = reply;
  return true;
}

bool DFUDevice::sendDFUAbort() {
  return sendClassRequest(DFU::DFU_ABORT, 0, "%s: DFU_ABORT failed with status 0x%x (%s)\n");
}

bool DFUDevice::sendDFUClrStatus() {
  return sendClassRequest(DFU::DFU_CLRSTATUS, 0, "%s: DFU_CLRSTATUS failed with status 0x%x (%s)\n");
}

bool DFUDevice::sendDFUDetachRequest() {
  return sendClassRequest(DFU::DFU_DETACH, m_wDetachTimeOut,
                          "%s: DFU_DETACH failed with status 0x%x (%s)\n");
}

bool DFUDevice::sendXMOSDFUResetIntoDFU() {
  return sendClassRequest(XMOS_DFU_RESETINTODFU, 0,
                          "%s: XMOS_DFU_RESETINTODFU failed with status 0x%x (%s)\n");
}

bool DFUDevice::sendXMOSDFUResetFromDFU() {
  return sendClassRequest(XMOS_DFU_RESETFROMDFU, 0,
                          "%s: XMOS_DFU_RESETFROMDFU failed with status 0x%x (%s)\n");
}

bool DFUDevice::sendDFUDetach() {
  return (m_bmAttributes & bitWillDetach) ? sendDFUDetachRequest() : sendXMOSDFUResetIntoDFU();
}

bool DFUDevice::returnToAPPMode() {
  if (isConnected() && m_mode == kModeRunTime) {
    return true;
  }
  return (m_bmAttributes & bitWillDetach) ? sendDFUDetachRequest() : sendXMOSDFUResetFromDFU();
}

void DFUDevice::noteStatus(const DFU::GetStatus& status) {
  // The state alone decides: a device writing a block or manifesting attends
  // to nothing else, whatever its status says.
  const bool busy = status.bState == DFU::dfuDNBUSY || status.bState == DFU::dfuMANIFEST;
  m_busyState = busy ? status.bState : kNotBusy;
  m_busyUntil = {};
  if (busy) {
    m_busyUntil = now() + std::min<std::chrono::milliseconds>(std::chrono::milliseconds(status.bwPollTimeout),
                                                              kMaxPollWait);
  }
}

void DFUDevice::waitOutBusyTime() {
  // A second wait covers a sleep that ended a little before the clock's time.
  for (int waits = 0; waits < 2 && saysBusy(); ++waits) {
    const auto at = now();
    if (at >= m_busyUntil) {
      return;
    }
    sleep(m_busyUntil - at);
  }
}

bool DFUDevice::pollWhileBusy(DFU::GetStatus& status, std::chrono::steady_clock::time_point deadline,
                              bool answered) {
  for (unsigned polls = 0; polls < kMaxStatusPollsPerBlock; ++polls) {
    // An answer in hand is the first poll's. A device that asks for no wait
    // is asked again at once; its owner can still stop the polls, as every
    // request is an interruption point.
    if (!(answered && polls == 0) && !getDFUStatus(status)) {
      return false;
    }
    if (!saysBusy() || status.bStatus != DFU::OK) {
      return true;
    }
    if (m_busyUntil > deadline) {
      break;
    }
    waitOutBusyTime();
  }
  // The device stayed busy for longer than any block of its kind can take.
  status.bStatus = DFU::errUNKNOWN;
  return false;
}

bool DFUDevice::waitUntilBlockTaken(DFU::GetStatus& status, std::chrono::steady_clock::time_point deadline) {
  return pollWhileBusy(status, deadline, true) && status.bStatus == DFU::OK &&
         status.bState == DFU::dfuDNLOAD_IDLE;
}

std::chrono::milliseconds DFUDevice::busyPatience(std::uint8_t state) const {
  // A device that answers throughout manifestation is followed for ten
  // seconds, or for its own detach timeout when that is longer.
  if (state == DFU::dfuMANIFEST) {
    return std::max(std::chrono::milliseconds(m_wDetachTimeOut), kMinManifestationWait);
  }
  return kMaxBusyWaitPerBlock;
}

bool DFUDevice::pollOrTakeAsStuck(DFU::GetStatus& status) {
  if (!getDFUStatus(status)) {
    return false;
  }
  if (!saysBusy() || status.bStatus != DFU::OK) {
    return true;
  }
  // A device found busy may still be at work on the block or manifestation
  // an attempt that gave up on it, or was quit, left it with: it is asked as
  // the download asks it, and given as long as the download gives that work,
  // counted from its first busy answer.
  if (pollWhileBusy(status, now() + busyPatience(m_busyState), true)) {
    return true;
  }
  // A failed request leaves dfuERROR in the record; a device still busy past
  // its patience leaves the busy state it last told.
  if (status.bState != DFU::dfuDNBUSY && status.bState != DFU::dfuMANIFEST) {
    return false;
  }
  // Busy for longer than any such work takes, it is stuck, not at work. The
  // time it announced last is let pass before it is sent anything else.
  waitOutBusyTime();
  m_busyState = kNotBusy;
  m_busyUntil = {};
  return true;
}

bool DFUDevice::bringToIdle(DFU::GetStatus& status, std::chrono::milliseconds patience) {
  return bringToIdle(status, patience, false);
}

bool DFUDevice::bringToIdle(DFU::GetStatus& status, std::chrono::milliseconds patience, bool stuckWhenStillBusy) {
  auto start = now();
  waitOutBusyTime();
  // A new attempt first lets a device still at work finish it; its patience
  // for bringing the device to idle counts from then, with the device's
  // answer in hand.
  bool answered = false;
  if (stuckWhenStillBusy) {
    if (!pollOrTakeAsStuck(status)) {
      return false;
    }
    answered = true;
    start = now();
  }
  // Otherwise the patience counts from the call. A device that was busy
  // until now is still asked once: a request cut short in flight leaves it
  // busy for the longest wait a poll may ask, which may be all of a quit's
  // patience, and a device left without a single request after that is left
  // in the middle of its download.
  const auto deadline = std::max(start + patience, now() + kLeastTimeToAnswer);
  const Restore requestsEnd(m_requestDeadline, std::min(m_requestDeadline, deadline));
  // One clearing request at most of each kind: a device that is still not
  // idle after them will not become so by asking again.
  bool cleared = false;
  bool aborted = false;
  for (;; answered = false) {
    if (!answered) {
      if (!(stuckWhenStillBusy ? getDFUStatus(status) : pollWhileBusy(status, deadline))) {
        return false;
      }
      // A device a new attempt has let finish its work, or taken as stuck,
      // has had its time: one that says it is busy again is left as it is.
      if (saysBusy() && status.bStatus == DFU::OK) {
        status.bStatus = DFU::errUNKNOWN;
        return false;
      }
    }
    if (status.bState == DFU::dfuIDLE) {
      return status.bStatus == DFU::OK;
    }
    // DFU_ABORT is refused in dfuERROR: only DFU_CLRSTATUS leaves it. A
    // device that refuses DFU_ABORT, as a DFU 1.1 device does in the middle
    // of a block, falls into dfuERROR: the next status request tells.
    const bool inError = status.bState == DFU::dfuERROR;
    bool& tried = inError ? cleared : aborted;
    if (tried || (!(inError ? sendDFUClrStatus() : sendDFUAbort()) && inError)) {
      // The device's own record stands where it reports an error.
      if (status.bStatus == DFU::OK) {
        status.bStatus = DFU::errUNKNOWN;
      }
      return false;
    }
    tried = true;
  }
}

bool DFUDevice::writeBlock(DFUClient::Payload& payload, const std::uint8_t* data,
                           std::uint32_t length, std::uint16_t blockNumber, DFU::GetStatus& status) {
  payload.blockNumber = blockNumber;
  payload.length = std::uint16_t(length);
  std::copy_n(data, length, payload.data);
  if (length == 0) {
    if (!writeDFUData(payload)) {
      status.bStatus = DFU::errUNKNOWN;
      return false;
    }
    return true;
  }
  // The first status request goes with the block, queued right behind it, so
  // that the device is asked as soon as it has the block rather than once the
  // host has seen it delivered. It is sent even when the block fails, which
  // DFU allows in every state.
  std::uint8_t reply[kGetStatusLength] = {};
  Request requests[] = {dnloadRequest(payload, m_interfaceNumber), statusRequest(m_interfaceNumber, reply)};
  Status results[std::size(requests)] = {};
  const auto deadline = now() + busyPatience(DFU::dfuDNBUSY);
  interruptionPoint();
  try {
    controlTransfers(requests, results, requestWait());
  } catch (...) {
    noteCutShortInFlight();
    throw;
  }
  // The answer counts even when the block failed: a device that says it is
  // busy must be left alone from then on.
  DFU::GetStatus answer;
  const bool answered = decodeStatus(requests[1], results[1], reply, answer);
  if (answered) {
    noteStatus(answer);
  }
  if (results[0] != kStatusSuccess) {
    logRequestFailure("%s: DFU_DNLOAD failed with status 0x%x (%s)\n", results[0]);
    status.bStatus = DFU::errUNKNOWN;
    return false;
  }
  status = answer;
  return answered && waitUntilBlockTaken(status, deadline);
}

bool DFUDevice::writeImage(const std::uint8_t* image, std::uint32_t size, DFU::GetStatus& status) {
  status = DFU::GetStatus{};
  if (image == nullptr || size == 0) {
    status.bStatus = kWriteImageNoImage;
    return false;
  }
  if (m_mode != kModeDFU) {
    status.bStatus = kWriteImageNotInDFUMode;
    return false;
  }
  const std::uint32_t transferSize = m_wTransferSize;
  if (transferSize == 0 || transferSize >= DFUClient::Payload::kMaxLength) {
    status.bStatus = DFU::errUNKNOWN;
    if (Logging::isEnabled(Logging::eLevel2, nullptr)) {
      Logging::detail::__trace__msg(Logging::eLevel2, "%s: Unsupported wTransferSize (%d)\n",
                                    kCategory, int(transferSize));
    }
    return false;
  }

  // A device left in the middle of an earlier download, or in dfuERROR by
  // one that failed, takes no first block until it is idle again. One still
  // busy, from a download given up on or quit, is let finish its work first,
  // or brought to idle once it has been busy for longer than that work takes.
  if (!bringToIdle(status, kMaxBusyWaitPerBlock, true)) {
    return false;
  }

  // DFU lets a host send blocks shorter than wTransferSize, and a block must
  // fit in one control transfer of the platform: Linux carries at most 4096
  // bytes, while keyboards may announce up to 8191.
  const std::uint32_t blockSize = std::min(transferSize, maxControlTransferLength());

  // The payload is large: it is kept off the stack of the worker, whose size
  // the platform decides. Block numbers wrap at 16 bits, as DFU 1.1 has them do.
  auto payload = std::make_unique<DFUClient::Payload>();
  const std::uint32_t fullBlocks = size / blockSize;
  const std::uint32_t remainder = size % blockSize;
  for (std::uint32_t block = 0; block < fullBlocks; ++block) {
    if (!writeBlock(*payload, image + std::size_t(block) * blockSize, blockSize, std::uint16_t(block), status)) {
      return false;
    }
  }
  if (remainder != 0 &&
      !writeBlock(*payload, image + std::size_t(fullBlocks) * blockSize, remainder, std::uint16_t(fullBlocks),
                  status)) {
    return false;
  }
  // The zero-length block tells the device that the image is complete.
  if (!writeBlock(*payload, image, 0, std::uint16_t(fullBlocks), status)) {
    return false;
  }
  return manifest(status);
}

bool DFUDevice::manifest(DFU::GetStatus& status) {
  std::uint8_t state = DFU::dfuERROR;
  getDFUState(state);

  const bool tolerant = (m_bmAttributes & bitManifestationTolerant) != 0;
  const std::chrono::milliseconds step = tolerant ? kToleratedManifestationStep : kRescanManifestationStep;
  const std::chrono::milliseconds detachTimeOut{m_wDetachTimeOut};
  // A tolerant device answers throughout; one that re-enumerates is looked for
  // until its detach timeout has passed.
  const std::chrono::milliseconds limit = tolerant ? busyPatience(DFU::dfuMANIFEST) : detachTimeOut;
  std::chrono::milliseconds waited{0};

  // Every step is one request or scan and one bounded sleep, so the steps
  // bound the time.
  for (;;) {
    switch (state) {
      case DFU::appIDLE:
      case DFU::dfuMANIFEST_WAIT_RESET:
        status.bState = state;
        status.bStatus = DFU::OK;
        return true;
      case DFU::dfuIDLE:
        if (!getDFUStatus(status) || status.bStatus != DFU::OK) {
          return false;
        }
        // Only a status that says idle too confirms that manifestation is
        // over; any other state contradicts the one just told.
        if (status.bState != DFU::dfuIDLE) {
          status.bStatus = DFU::errUNKNOWN;
          return false;
        }
        return true;
      case DFU::dfuMANIFEST_SYNC:
        if (!getDFUStatus(status) || status.bStatus != DFU::OK) {
          return false;
        }
        state = DFU::dfuMANIFEST;
        break;
      case DFU::dfuMANIFEST:
        if (tolerant ? waited >= limit : waited > limit) {
          status.bStatus = DFU::errUNKNOWN;
          return false;
        }
        // A step outlasts the time the device said manifestation takes.
        sleep(step);
        waited += step;
        if (tolerant) {
          waitOutBusyTime();
          if (!getDFUState(state)) {
            status.bStatus = DFU::errUNKNOWN;
            return false;
          }
        } else if (findAgain(std::uint16_t(m_info.productId & USBDeviceDB::kFamilyMask))) {
          // Back in normal mode, running the image just written.
          state = DFU::dfuMANIFEST_WAIT_RESET;
        }
        break;
      default:
        status.bStatus = DFU::errUNKNOWN;
        return false;
    }
  }
}

bool DFUDevice::writeCustom(const std::uint8_t* data, std::uint32_t size, std::uint8_t type) {
  const std::uint32_t fullBlocks = size / kCustomBlockSize;
  // The block index travels in 16 bits: a larger image would overwrite its
  // own beginning.
  if (data == nullptr || size == 0 || m_mode != kModeDFU || fullBlocks > 0xFFFF) {
    return false;
  }
  Request request;
  request.bmRequestType = kVendorOut;
  request.bRequest = std::uint8_t(kCustomImageBase + type);
  request.wIndex = m_interfaceNumber;
  for (std::uint32_t block = 0; block <= fullBlocks; ++block) {
    request.wValue = std::uint16_t(block);
    request.wLength = std::uint16_t(block < fullBlocks ? kCustomBlockSize : size % kCustomBlockSize);
    request.data = const_cast<std::uint8_t*>(data + std::size_t(block) * kCustomBlockSize);
    if (controlTransfer(request) != kStatusSuccess) {
      return false;
    }
  }
  return true;
}

bool DFUDevice::getCustomImageVersion(std::uint8_t type, std::uint32_t& version) {
  std::uint8_t reply[2] = {};
  Request request;
  request.bmRequestType = kVendorDeviceIn;
  request.bRequest = kGetCustomImageVersion;
  request.wIndex = std::uint16_t(kCustomImageBase + type);
  request.wLength = sizeof reply;
  request.data = reply;
  if (controlTransfer(request) != kStatusSuccess || request.bytesTransferred != sizeof reply) {
    return false;
  }
  version = std::uint32_t(reply[0]) | (std::uint32_t(reply[1]) << 8);
  return true;
}

bool DFUDevice::reconnectInDFUMode() {
  if (isConnected() && m_mode == kModeDFU) {
    return true;
  }
  // Without the ids of a device there is nothing to look for.
  if (m_info.vendorId == 0 || m_info.productId == 0) {
    return false;
  }
  if (isConnected()) {
    disconnect();
    // The keyboard leaves the bus and comes back as its loader.
    sleep(kReenumerationWait);
  }
  return findAgain(std::uint16_t((m_info.productId & USBDeviceDB::kFamilyMask) + USBDeviceDB::kUpdateModeOffset));
}

bool DFUDevice::findAgain(std::uint16_t productId) {
  const std::uint16_t family = m_info.productId & USBDeviceDB::kFamilyMask;
  // The scans wait for the devices they read as this device's requests do:
  // on the update worker, its owner may stop them there.
  const Wait wait = requestWait();
  const std::vector<USBDeviceSighting> seen = USBDeviceSighting::scan(USBDeviceDB::QVUSBDevices, nullptr, wait);
  const USBDeviceSighting* found =
      USBDeviceSighting::follow(seen, family, m_info.serialNumber, m_location, m_namesakeSeen);
  if (found == nullptr) {
    logLeftAlone(seen, family, m_info.serialNumber, m_location);
    return false;
  }
  // The keyboard is there, but not yet in the mode looked for.
  if (found->info.productId != productId) {
    return false;
  }
  return found->reach(
      USBDeviceDB::QVUSBDevices, [this, &wait](const USBDeviceOSHandle& handle) { return USBDevice::connect(handle, wait); },
      wait);
}

}  // namespace QV::QDV2
