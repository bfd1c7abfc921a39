#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "QV/QDV2/DFU.h"
#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceFilter.h"

namespace QV::QDV2 {

// A USBDevice that speaks the DFU 1.1 download protocol and the keyboards'
// vendor requests. It finds its DFU interface after every connection.
//
// Thread: writeImage, writeCustom, sendDFUAbort, returnToAPPMode and
// disconnect run on the update worker; the others on the main thread before
// the worker starts. Each request holds the device lock only while it runs; a
// download block and the status request sent with it hold it together.
class DFUDevice : public USBDevice {
 public:
  // mode values
  static constexpr std::uint8_t kModeNone = 0;     // no DFU interface
  static constexpr std::uint8_t kModeRunTime = 1;  // the device runs its application
  static constexpr std::uint8_t kModeDFU = 2;      // the device runs its loader

  // bStatus verdicts of writeImage besides the DFU codes: no image was given,
  // or the device is not in DFU mode. Other failures the program detects
  // itself give DFU::errUNKNOWN.
  static constexpr std::uint8_t kWriteImageNoImage = 1;
  static constexpr std::uint8_t kWriteImageNotInDFUMode = 3;

  // How the device waits and tells the time; tests substitute their own clock.
  using SleepFunction = std::function<void(std::chrono::nanoseconds)>;
  using ClockFunction = std::function<std::chrono::steady_clock::time_point()>;
  // Called before every request (a block and the status request sent with
  // it count as one), and while a request waits for the device's answer. Its
  // owner may throw from it to stop the device's work there, as the update
  // worker does when it is interrupted; the device is then left as a wait cut
  // short leaves it, and requests in flight are cancelled.
  using InterruptionPoint = std::function<void()>;

  DFUDevice();
  ~DFUDevice() override;

  // USBDevice::connect, waiting for the device as its requests do, then true
  // only when a DFU interface was found. The device stays connected when it
  // has none.
  bool connect(const USBDeviceOSHandle& handle);

  // Finds the DFU interface and its functional descriptor in the
  // configuration descriptor. True also when there is none (mode 0); false
  // when the descriptor cannot be read or its lengths do not add up.
  bool queryDFUInfo();
  // DFU_DETACH when the device will detach by itself, else the vendor reset
  // into update mode. False when the request fails.
  bool sendDFUDetach();
  // Leaves update mode: DFU_DETACH or the vendor reset from update mode; true
  // at once when connected in run-time mode. False, with nothing sent, while
  // the device says it is busy.
  bool returnToAPPMode();
  // Downloads `image` in wTransferSize blocks (or blocks of the platform's
  // largest control transfer, when that is smaller) and follows
  // manifestation. The device is brought to idle first; one that says it is
  // busy is polled as the download polls it, for as long as the download
  // gives the block or manifestation in hand (busyPatience) from its first
  // busy answer. Only one still busy after that is taken to be stuck, and
  // cleared (DFU_ABORT, and DFU_CLRSTATUS should that leave it in dfuERROR)
  // once the time it announced last is over. On false,
  // status.bStatus holds the device's status, or 1 (no image), 3 (not in DFU
  // mode) or errUNKNOWN for a failure found here (a failed request, a short
  // reply, a device busy or manifesting for too long). Every wait is
  // bounded. Thread: the update worker.
  bool writeImage(const std::uint8_t* image, std::uint32_t size, DFU::GetStatus& status);
  // Brings a device in DFU mode to dfuIDLE, as a host must before a download
  // and after one it gives up: a block in progress is waited out first (the
  // device accepts no request while it is busy), an error is cleared with
  // DFU_CLRSTATUS, a download or manifestation left half-way is ended with
  // DFU_ABORT (and DFU_CLRSTATUS, should the device refuse that and fall into
  // dfuERROR). True when the device then reports dfuIDLE; otherwise `status`
  // holds its last record (errUNKNOWN when it did not answer, or stayed busy
  // beyond `patience`, which counts from the call and includes the wait for
  // a block in progress). Its requests end with the patience too: a device
  // that does not answer them fails them with a time-out then. Every wait is
  // bounded. Thread: the update worker.
  bool bringToIdle(DFU::GetStatus& status, std::chrono::milliseconds patience = kMaxBusyWaitPerBlock);
  // Writes a custom image of `type` in 256-byte vendor requests; only in DFU
  // mode. False at the first failed request.
  bool writeCustom(const std::uint8_t* data, std::uint32_t size, std::uint8_t type);
  // Reads the version of the custom image of `type`, in either mode; leaves
  // `version` alone on failure.
  bool getCustomImageVersion(std::uint8_t type, std::uint32_t& version);
  // Finds the device again in update mode, after leaving it and waiting 2.5 s
  // when it is connected: the keyboard last connected, told from the others
  // present by USBDeviceSighting::follow (its serial number, and its place
  // where the serial number does not tell it apart). False when it is not
  // found in update mode in one scan, or when no device was ever connected.
  // Another keyboard is never taken in its stead; the same holds for the
  // search during a manifestation that re-enumerates.
  bool reconnectInDFUMode();
  // Whether another keyboard of this one's family has shown its serial
  // number since the keyboard was chosen, so that only its place on the bus
  // tells it from now on (USBDeviceSighting::follow). Every scan that follows
  // the keyboard may set it; it is kept across connections and only its
  // owner clears it, when it chooses a keyboard anew.
  bool namesakeSeen() const { return m_namesakeSeen; }
  void setNamesakeSeen(bool seen) { m_namesakeSeen = seen; }

  bool writeDFUData(const DFUClient::Payload& payload);
  // Fills `status` with errUNKNOWN and dfuERROR first, so a failed request
  // never leaves a good-looking record.
  bool getDFUStatus(DFU::GetStatus& status);
  // Leaves `state` alone on failure.
  bool getDFUState(std::uint8_t& state);
  bool sendDFUAbort();
  bool sendDFUClrStatus();
  bool sendXMOSDFUResetIntoDFU();
  bool sendXMOSDFUResetFromDFU();

  std::uint8_t mode() const { return m_mode; }
  std::uint8_t bmAttributes() const { return m_bmAttributes; }
  std::uint16_t wDetachTimeOut() const { return m_wDetachTimeOut; }
  std::uint16_t wTransferSize() const { return m_wTransferSize; }
  std::uint16_t interfaceNumber() const { return m_interfaceNumber; }
  // The device's last status answer was dfuDNBUSY or dfuMANIFEST: until it
  // answers otherwise it is sent nothing but DFU_GETSTATUS (and DFU_GETSTATE
  // while it manifests), and that not before the time it announced. A host that gives up on it then leaves it
  // as it is.
  bool saysBusy() const { return m_busyState != kNotBusy; }
  // Sleeps until the time the device announced, when it says it is busy: a
  // host that leaves it lets that time pass first, as the device stalls any
  // request (of any host) that comes sooner and falls into dfuERROR.
  void waitOutBusyTime();

  // Replaces how the device waits; an empty function restores real sleeping.
  void setSleepFunction(SleepFunction sleep);
  // Replaces the device's clock; an empty function restores the steady clock.
  void setClockFunction(ClockFunction clock);
  // An empty function lets every operation run to its own end.
  void setInterruptionPoint(InterruptionPoint point);

  // Passes the interruption point first. While the device says it is busy,
  // any other request than DFU_GETSTATUS (or DFU_GETSTATE, while it
  // manifests), and those before the time the device announced, fails with
  // kStatusRefusedWhileBusy without reaching it: a busy loader stalls
  // whatever else it is sent and is left in dfuERROR.
  Status controlTransfer(Request& request) override;

  // The platform's "device busy" word.
  static constexpr Status kStatusRefusedWhileBusy = 0xE00002D5;

  // How long a device may stay busy with one block, measured from the time
  // the block was sent, before the download gives up on it; see busyPatience.
  static constexpr std::chrono::milliseconds kMaxBusyWaitPerBlock{10000};
  // The longest one poll waits, whatever time the device announces.
  static constexpr std::chrono::milliseconds kMaxPollWait{1000};
  // How long a device just done being busy is given to answer the requests
  // that bring it to idle, however little patience bringToIdle has left. So
  // bringToIdle ends within its patience and this, and a caller that then
  // waits out the time the device announced last, within kMaxPollWait more.
  static constexpr std::chrono::milliseconds kLeastTimeToAnswer{250};

 protected:
  // For tests that bring their own platform part.
  explicit DFUDevice(OSImpl* impl);

  bool postConnect() override;
  void sleep(std::chrono::nanoseconds duration) const;
  std::chrono::steady_clock::time_point now() const;
  void interruptionPoint() const;
  // How a request waits for the device: stopped by the interruption point,
  // and failed past m_requestDeadline.
  Wait requestWait() const;
  // A request stopped in flight may have reached the device, which may then
  // be busy for as long as a poll may ask, with an answer that was never
  // seen: it is left that long.
  void noteCutShortInFlight();

  // Forgets the DFU interface: mode, attributes, timeout, transfer size and
  // interface number all become 0.
  void clearDFUInfo();
  // One class request without data to the DFU interface; logs `failure`.
  bool sendClassRequest(std::uint8_t bRequest, std::uint16_t wValue, const char* failure);
  bool sendDFUDetachRequest();
  // One block of a download and, unless it is the end-of-data block, the
  // status polls until the device has taken it; the first poll is sent
  // together with the block.
  bool writeBlock(DFUClient::Payload& payload, const std::uint8_t* data, std::uint32_t length,
                  std::uint16_t blockNumber, DFU::GetStatus& status);
  // From the device's answer in `status` to a block, polls while the device
  // is busy until it has taken the block, at most until `deadline`.
  bool waitUntilBlockTaken(DFU::GetStatus& status, std::chrono::steady_clock::time_point deadline);
  // Asks for the status until the device no longer says it is busy (writing
  // a block or manifesting): true with its record once it reports another
  // state or an error; false when a request fails, or when it is still busy
  // at `deadline` or after a bounded number of polls (bStatus errUNKNOWN). A wait that would end past the deadline
  // is not begun. When `answered`, `status` already holds the device's
  // answer to the first request, which then counts as the first poll.
  bool pollWhileBusy(DFU::GetStatus& status, std::chrono::steady_clock::time_point deadline,
                     bool answered = false);
  // Takes in what the device said of itself in a status answer: whether it
  // is busy, and until when (bwPollTimeout, at most the longest wait of a
  // poll).
  void noteStatus(const DFU::GetStatus& status);
  // bringToIdle; with `stuckWhenStillBusy`, a device found busy is first
  // let finish its work, or taken to be stuck (pollOrTakeAsStuck), and
  // `patience` counts from then.
  bool bringToIdle(DFU::GetStatus& status, std::chrono::milliseconds patience, bool stuckWhenStillBusy);
  // How long the download gives a device busy in `state` (dfuDNBUSY: the
  // block in hand; dfuMANIFEST: manifestation) before it gives up on it. A
  // new attempt that finds a device busy gives it as long from its first busy
  // answer before it takes it to be stuck.
  std::chrono::milliseconds busyPatience(std::uint8_t state) const;
  // Asks for the status and, while the device says it is busy, polls it as
  // pollWhileBusy does for busyPatience from that first answer: true with its
  // record once it says otherwise, or, when it is still busy after that, once
  // the time it announced last is over, the device then taken as no longer
  // busy. False when a request fails.
  bool pollOrTakeAsStuck(DFU::GetStatus& status);
  // Follows the device from the end of data to the end of manifestation.
  bool manifest(DFU::GetStatus& status);
  // One scan for the keyboard last connected, as reconnectInDFUMode tells
  // it; connects it when it is found enumerated with `productId`.
  bool findAgain(std::uint16_t productId);

  std::uint8_t m_mode = kModeNone;
  std::uint8_t m_bmAttributes = 0;
  std::uint16_t m_wDetachTimeOut = 0;
  std::uint16_t m_wTransferSize = 0;
  std::uint16_t m_interfaceNumber = 0;
  SleepFunction m_sleep;
  ClockFunction m_clock;
  InterruptionPoint m_interruptionPoint;
  // The busy state the device last said it is in (dfuDNBUSY or dfuMANIFEST),
  // and until when. A wait cut short (the worker interrupted in it) leaves
  // the time in the future, and bringToIdle() waits out the rest before it
  // asks anything.
  static constexpr std::uint8_t kNotBusy = 0xFF;
  std::uint8_t m_busyState = kNotBusy;
  std::chrono::steady_clock::time_point m_busyUntil{};
  bool m_namesakeSeen = false;
  // By the device's clock, when every request fails with a time-out, answered
  // or not; none outside bringToIdle().
  std::chrono::steady_clock::time_point m_requestDeadline = std::chrono::steady_clock::time_point::max();
};

}  // namespace QV::QDV2
