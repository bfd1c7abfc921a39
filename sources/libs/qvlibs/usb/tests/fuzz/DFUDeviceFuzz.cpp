// Fuzz target for the USB layer's reading of a keyboard. The input scripts a
// keyboard in update mode: its product id and release number, whether it
// re-enumerates (in normal mode at the end of a download, in update mode when
// switched there from normal mode), the device descriptor the kernel read when
// it enumerated the keyboard, then its answer to each control request in turn
// (data of any length, a stall, a failure, no answer until the request times
// out, or nothing more once it has left), its string and configuration
// descriptors included: the kernel kept no record of this keyboard that the
// layer could read instead. On it runs what the updater runs: the
// connection, the second image's version, the download with manifestation, the
// return to idle after a failed one, the second image (in update mode again,
// should the keyboard have left it), the return to normal mode, and the quit
// in the middle of it all when the input asks for one. The requests go through
// the program's own libusb platform part to a stand-in for libusb, defined
// here, that hands them to the script. Time is the keyboard's own clock, moved
// by the device's sleeps and the requests, so a run takes no real time.
//
// Besides the sanitizers' checks, the target traps when the download is said
// to succeed although the keyboard did not take the whole image block by block
// and end manifestation, when a request reaches the keyboard while it said it
// is busy and its time is not over, when a wait outlasts what the device's own
// limits allow or a request could wait for ever, and when requests go on long
// after the keyboard has left.
//
// Built by clang with libFuzzer on request, and replayed over its corpus by an
// ordinary test.
#include <QV/QDV2/DFUDevice.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "USB/Linux/DeviceTable.h"

namespace {

using namespace std::chrono_literals;
using namespace QV::QDV2;
using Bytes = std::vector<std::uint8_t>;
using TimePoint = std::chrono::steady_clock::time_point;

// The input, read front to back; past its end every byte reads as 0.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_left(size) {}
  bool empty() const { return m_left == 0; }
  std::uint8_t byte() { return m_left == 0 ? 0 : (--m_left, *m_data++); }
  std::uint16_t word() {
    const std::uint8_t low = byte();
    return std::uint16_t(low | (byte() << 8));
  }
  Bytes bytes(std::size_t count) {
    count = std::min(count, m_left);
    Bytes taken(m_data, m_data + count);
    m_data += count;
    m_left -= count;
    return taken;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_left;
};

// The keyboard leaves the bus after this many requests, whatever its script
// says, so that a run always ends; a device that goes on sending long after
// that ignores that it left.
constexpr unsigned kRequestBudget = 12000;
constexpr unsigned kRequestsAfterLeaving = 1000;
// The longest single wait of the device (a step of a manifestation that
// re-enumerates), the longest it waits for a device that says it is busy, and
// the longest one request may take.
constexpr std::chrono::nanoseconds kLongestSleep = 10s;
constexpr std::chrono::milliseconds kLongestBusyTime = 1000ms;
constexpr auto kLongestRequestMs = unsigned(USBDevice::kRequestTimeout.count());

constexpr std::uint8_t kClassOut = 0x21;
constexpr std::uint8_t kClassIn = 0xA1;
constexpr std::uint8_t kSecondImageType = 1;
constexpr std::uint8_t kResetIntoDFU = 0xF2;

// One answer of the script.
struct Answer {
  enum Kind : std::uint8_t { kData, kStall, kFailure, kStatusRecord } kind = kData;
  std::uint8_t failure = 0;
  Bytes data;  // what an IN request receives, cut to what it asks for
};

// The scripted keyboard. It keeps what it said of itself, and what it took of
// a download, to judge the device's verdicts by.
class ScriptedKeyboard {
 public:
  ScriptedKeyboard(Input& input, std::uint16_t productId, std::uint16_t release, bool reenumerates,
                   std::chrono::milliseconds requestTime)
      : productId(productId), release(release), m_input(input), m_reenumerates(reenumerates), m_requestTime(requestTime) {}

  // libusb_submit_transfer: the keyboard answers at once; the answer reaches
  // the caller when it next handles events.
  int submit(libusb_transfer& transfer) {
    libusb_control_setup setup;
    std::memcpy(&setup, transfer.buffer, sizeof setup);
    setup.wValue = libusb_le16_to_cpu(setup.wValue);
    setup.wLength = libusb_le16_to_cpu(setup.wLength);
    std::uint8_t* data = transfer.buffer + LIBUSB_CONTROL_SETUP_SIZE;
    const bool in = (setup.bmRequestType & LIBUSB_ENDPOINT_IN) != 0;
    // As libusb does on Linux, whose USB file system carries no more.
    if (setup.wLength > 4096) {
      return LIBUSB_ERROR_INVALID_PARAM;
    }
    if (++m_requests > kRequestBudget + kRequestsAfterLeaving) __builtin_trap();
    // Every request ends: libusb waits for ever on a time-out of 0.
    if (transfer.timeout == 0 || transfer.timeout > kLongestRequestMs) __builtin_trap();
    // Nothing reaches a keyboard that said it is busy before its time is
    // over: it would stall it and fall into dfuERROR.
    if (busyNow()) __builtin_trap();
    m_now += m_requestTime;
    if (m_left || (m_repeats == 0 && (m_input.empty() || m_requests > kRequestBudget))) {
      m_left = true;
      return LIBUSB_ERROR_NO_DEVICE;
    }
    const Answer& answer = next();
    transfer.actual_length = 0;
    switch (answer.kind) {
      case Answer::kStall:
        transfer.status = LIBUSB_TRANSFER_STALL;
        break;
      case Answer::kFailure: {
        static constexpr libusb_transfer_status kFailures[] = {LIBUSB_TRANSFER_TIMED_OUT, LIBUSB_TRANSFER_NO_DEVICE,
                                                              LIBUSB_TRANSFER_OVERFLOW, LIBUSB_TRANSFER_ERROR};
        if (answer.failure >= std::size(kFailures)) return LIBUSB_ERROR_IO;
        transfer.status = kFailures[answer.failure];
        // A request that times out took its whole time-out.
        if (transfer.status == LIBUSB_TRANSFER_TIMED_OUT) m_now += std::chrono::milliseconds(transfer.timeout);
        break;
      }
      default: {
        transfer.status = LIBUSB_TRANSFER_COMPLETED;
        const std::size_t received = in ? std::min<std::size_t>(answer.data.size(), setup.wLength) : setup.wLength;
        if (in) std::copy_n(answer.data.begin(), received, data);
        transfer.actual_length = int(received);
        if (setup.bmRequestType == (in ? kClassIn : kClassOut)) {
          take(setup.bRequest, setup.wValue, in ? Bytes(data, data + received) : Bytes(data, data + setup.wLength), in);
        }
        break;
      }
    }
    m_pending.push_back(&transfer);
    return LIBUSB_SUCCESS;
  }
  // libusb_handle_events_timeout_completed: the answers reach the caller.
  void deliver() {
    while (!m_pending.empty()) {
      libusb_transfer* transfer = m_pending.front();
      m_pending.pop_front();
      transfer->callback(transfer);
    }
  }

  // The kernel enumerates the keyboard: it reads the device descriptor, the
  // script's next answer, and keeps the indices of the strings it names.
  void enumerate() {
    const Answer& descriptor = next();
    stringIndices = {};
    if (descriptor.kind == Answer::kData && descriptor.data.size() > kSerialNumberIndexOffset) {
      std::copy_n(descriptor.data.begin() + kManufacturerIndexOffset, stringIndices.size(), stringIndices.begin());
    }
  }

  TimePoint now() const { return m_now; }
  void sleep(std::chrono::nanoseconds duration) {
    if (duration < 0ns || duration > kLongestSleep || ++m_sleeps > kRequestBudget) __builtin_trap();
    m_now += duration;
    m_slept += duration;
  }
  // How long the device has slept in all.
  std::chrono::nanoseconds slept() const { return m_slept; }
  unsigned requests() const { return m_requests; }
  // Whether a scan finds the keyboard: only once it has re-enumerated in
  // normal mode, running the image it took, which ends manifestation.
  bool listed() {
    m_manifested = m_manifested || (m_reenumerates && m_endOfData);
    return m_reenumerates && m_endOfData;
  }
  // Whether the keyboard says it is busy and its time is not over.
  bool busyNow() const { return m_busy && m_now < m_busyUntil; }

  // Whether what the keyboard took and said makes a complete download of
  // `image`: every block taken in order before the next was sent, the end of
  // data, and then a state that ends manifestation.
  bool tookWhole(const Bytes& image) const {
    return m_inOrder && m_taken == m_downloaded.size() && m_downloaded == image && m_endOfData && m_manifested;
  }
  // Whether the keyboard's last status answer said it is idle, without error.
  bool saidIdle() const { return m_lastStatus.size() == 6 && m_lastStatus[0] == DFU::OK && m_lastStatus[4] == DFU::dfuIDLE; }

  std::uint16_t productId;
  const std::uint16_t release;
  // iManufacturer, iProduct and iSerialNumber of the device descriptor.
  std::array<std::uint8_t, 3> stringIndices{};

 private:
  static constexpr std::size_t kManufacturerIndexOffset = 14;
  static constexpr std::size_t kSerialNumberIndexOffset = 16;

  // The next answer of the script. The low two bits of its first byte say
  // what it is (data of a length given next, a stall, a failure given next,
  // or the six bytes of a status record), the rest how many requests in a row
  // get it: 1 to 48, then 64 times powers of two. A length of 255 is followed
  // by the length in two bytes.
  const Answer& next() {
    if (m_repeats == 0) {
      const std::uint8_t kind = m_input.byte();
      const unsigned count = kind >> 2;
      m_repeats = count < 48 ? count + 1 : 64u << (count - 48);
      m_answer.kind = Answer::Kind(kind & 3);
      m_answer.failure = m_answer.kind == Answer::kFailure ? m_input.byte() % 5 : 0;
      std::size_t length = m_answer.kind == Answer::kData ? m_input.byte() : 0;
      length = length == 255 ? m_input.word() : m_answer.kind == Answer::kStatusRecord ? 6 : length;
      m_answer.data = m_input.bytes(length);
    }
    --m_repeats;
    return m_answer;
  }

  // What the keyboard made of a DFU request it answered.
  void take(std::uint8_t bRequest, std::uint16_t wValue, const Bytes& bytes, bool in) {
    if (bRequest == DFU::DFU_DNLOAD && !in) {
      if (bytes.empty()) {
        m_endOfData = true;
        m_manifested = false;
        if (m_reenumerates) productId &= 0xFFF0;
      } else {
        m_inOrder = m_inOrder && !m_endOfData && m_taken == m_downloaded.size() && wValue == std::uint16_t(m_blocks);
        ++m_blocks;
        m_downloaded.insert(m_downloaded.end(), bytes.begin(), bytes.end());
      }
    } else if (bRequest == DFU::DFU_GETSTATUS && in && bytes.size() == 6) {
      m_lastStatus = bytes;
      const std::uint8_t state = bytes[4];
      m_busy = state == DFU::dfuDNBUSY || state == DFU::dfuMANIFEST;
      const std::uint32_t pollMs = bytes[1] | (bytes[2] << 8) | (bytes[3] << 16);
      m_busyUntil = m_now + std::min(std::chrono::milliseconds(pollMs), kLongestBusyTime);
      if (bytes[0] == DFU::OK && state == DFU::dfuDNLOAD_IDLE && !m_endOfData) m_taken = m_downloaded.size();
      if (m_endOfData) m_manifested = bytes[0] == DFU::OK && state == DFU::dfuIDLE;
    } else if (bRequest == DFU::DFU_GETSTATE && in && bytes.size() == 1) {
      const std::uint8_t state = bytes[0];
      if (state != DFU::dfuDNBUSY && state != DFU::dfuMANIFEST) m_busy = false;
      if (m_endOfData) m_manifested = state == DFU::appIDLE || state == DFU::dfuMANIFEST_WAIT_RESET;
    } else if ((bRequest == DFU::DFU_DETACH || bRequest == kResetIntoDFU) && !in && m_reenumerates &&
               (productId & 0xF) == 0) {
      // Switched from normal mode, it comes back in update mode.
      productId |= 2;
    } else if ((bRequest == DFU::DFU_ABORT || bRequest == DFU::DFU_CLRSTATUS) && !in) {
      // The keyboard forgets a download left half-way.
      m_downloaded.clear();
      m_taken = m_blocks = 0;
      m_inOrder = true;
      m_endOfData = m_manifested = false;
    }
  }

  Input& m_input;
  const bool m_reenumerates;
  const std::chrono::milliseconds m_requestTime;
  TimePoint m_now{};
  unsigned m_requests = 0, m_sleeps = 0;
  std::chrono::nanoseconds m_slept{0};
  Answer m_answer;
  std::size_t m_repeats = 0;
  bool m_left = false;
  std::deque<libusb_transfer*> m_pending;
  // What the keyboard said of itself.
  bool m_busy = false;
  TimePoint m_busyUntil{};
  Bytes m_lastStatus;
  // What it took of a download.
  Bytes m_downloaded;
  std::size_t m_taken = 0, m_blocks = 0;
  bool m_inOrder = true, m_endOfData = false, m_manifested = false;
};

// The keyboard of the run in progress, the only device on the stand-in's bus.
ScriptedKeyboard* g_keyboard = nullptr;

// How the updater's worker is stopped by a quit.
struct Interrupted {};

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = std::uint8_t(seed + i * 7 + i / 251);
  return bytes;
}

// The longest a download of `size` bytes may wait on `device` by its own
// limits, its requests aside (each ends within its time-out): each block
// (given up on ten seconds after it was sent, and no wait begun that would
// end later), manifestation (a tolerant device is followed in steps of a
// second for ten seconds or its detach timeout, one that re-enumerates is
// looked for in steps of ten seconds until its detach timeout is past), and
// the return to idle before it (a device found busy is given the longer of a
// block's and a manifestation's time, then the time it announced last, then
// a block's time to be cleared).
std::chrono::nanoseconds downloadWaitBound(const DFUDevice& device, std::uint32_t size) {
  const std::uint32_t blockSize = std::clamp<std::uint32_t>(device.wTransferSize(), 1, device.maxControlTransferLength());
  const std::uint32_t blocks = (size + blockSize - 1) / blockSize;
  const std::chrono::milliseconds detach{device.wDetachTimeOut()};
  const auto manifestationTime = std::max<std::chrono::nanoseconds>(detach, 10s);
  const auto manifestation = manifestationTime + kLongestSleep;
  const auto returnToIdle = std::max<std::chrono::nanoseconds>(DFUDevice::kMaxBusyWaitPerBlock, manifestationTime) +
                            kLongestBusyTime + DFUDevice::kMaxBusyWaitPerBlock;
  return DFUDevice::kMaxBusyWaitPerBlock * blocks + returnToIdle + manifestation;
}

}  // namespace

// The stand-in for libusb: a bus that holds the scripted keyboard alone,
// served without threads; a request is answered when submitted.
struct libusb_context {};
struct libusb_device {};
struct libusb_device_handle {};

namespace {
libusb_context g_context;
libusb_device g_device;
libusb_device_handle g_handle;
}  // namespace

extern "C" {
int libusb_init(libusb_context** context) {
  *context = &g_context;
  return LIBUSB_SUCCESS;
}
void libusb_exit(libusb_context*) {}
int libusb_set_option(libusb_context*, libusb_option, ...) { return LIBUSB_SUCCESS; }
int libusb_has_capability(std::uint32_t) { return 0; }
int libusb_hotplug_register_callback(libusb_context*, int, int, int, int, int, libusb_hotplug_callback_fn, void*,
                                     libusb_hotplug_callback_handle*) {
  return LIBUSB_ERROR_NOT_SUPPORTED;
}
void libusb_hotplug_deregister_callback(libusb_context*, libusb_hotplug_callback_handle) {}
ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  const bool listed = g_keyboard->listed();
  *list = static_cast<libusb_device**>(std::calloc(2, sizeof(libusb_device*)));
  (*list)[0] = listed ? &g_device : nullptr;
  return listed ? 1 : 0;
}
void libusb_free_device_list(libusb_device** list, int) { std::free(list); }
libusb_device* libusb_ref_device(libusb_device* device) { return device; }
void libusb_unref_device(libusb_device*) {}
int libusb_get_device_descriptor(libusb_device*, libusb_device_descriptor* descriptor) {
  *descriptor = libusb_device_descriptor{};
  descriptor->idVendor = 0x17CC;
  descriptor->idProduct = g_keyboard->productId;
  descriptor->bcdDevice = g_keyboard->release;
  descriptor->iManufacturer = g_keyboard->stringIndices[0];
  descriptor->iProduct = g_keyboard->stringIndices[1];
  descriptor->iSerialNumber = g_keyboard->stringIndices[2];
  descriptor->bNumConfigurations = 1;
  return LIBUSB_SUCCESS;
}
int libusb_get_config_descriptor(libusb_device*, std::uint8_t, libusb_config_descriptor**) {
  return LIBUSB_ERROR_NOT_FOUND;
}
void libusb_free_config_descriptor(libusb_config_descriptor*) {}
std::uint8_t libusb_get_bus_number(libusb_device*) { return 1; }
// No enumerated device has address 0, so no record of the kernel's is ever
// taken for the scripted keyboard's.
std::uint8_t libusb_get_device_address(libusb_device*) { return 0; }
int libusb_get_port_numbers(libusb_device*, std::uint8_t* ports, int length) {
  if (length < 1) return LIBUSB_ERROR_OVERFLOW;
  ports[0] = 1;
  return 1;
}
int libusb_open(libusb_device*, libusb_device_handle** handle) {
  *handle = &g_handle;
  return LIBUSB_SUCCESS;
}
void libusb_close(libusb_device_handle*) {}
libusb_transfer* libusb_alloc_transfer(int) { return static_cast<libusb_transfer*>(std::calloc(1, sizeof(libusb_transfer))); }
void libusb_free_transfer(libusb_transfer* transfer) { std::free(transfer); }
int libusb_submit_transfer(libusb_transfer* transfer) { return g_keyboard->submit(*transfer); }
// Every transfer is answered when submitted: there is nothing left to cancel.
int libusb_cancel_transfer(libusb_transfer*) { return LIBUSB_ERROR_NOT_FOUND; }
int libusb_handle_events_timeout_completed(libusb_context*, timeval*, int*) {
  g_keyboard->deliver();
  return LIBUSB_SUCCESS;
}
}  // extern "C"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  const std::uint16_t productId = input.word();
  const std::uint16_t release = input.word();
  const std::uint8_t options = input.byte();
  const std::uint16_t interruptAt = input.word();
  const Bytes image = pattern(1 + input.word() % 1024, 0x11);
  const Bytes secondImage = pattern(input.word() % 1024, 0x22);
  ScriptedKeyboard keyboard(input, productId, release, (options & 8) != 0, std::chrono::milliseconds(options & 3));
  keyboard.enumerate();
  g_keyboard = &keyboard;
  const USBDeviceOSHandle handle = LINUX::DeviceTable::instance().retain(&g_device);
  {
    DFUDevice device;
    device.setClockFunction([&keyboard] { return keyboard.now(); });
    device.setSleepFunction([&keyboard](std::chrono::nanoseconds d) { keyboard.sleep(d); });

    // On the main thread: the keyboard is found and read.
    device.connect(handle);
    std::uint32_t version = 0;
    device.getCustomImageVersion(kSecondImageType, version);

    // On the worker, which a quit may stop before any request or while one is
    // in flight.
    bool interruptible = (options & 4) != 0;
    device.setInterruptionPoint([&] {
      if (interruptible && keyboard.requests() >= interruptAt) {
        interruptible = false;
        throw Interrupted{};
      }
    });
    DFU::GetStatus status;
    // The device's limits as it found them before the download: one that
    // re-enumerates is read anew.
    const std::chrono::nanoseconds waitBound = downloadWaitBound(device, std::uint32_t(image.size()));
    const std::chrono::nanoseconds slept = keyboard.slept();
    TimePoint start = keyboard.now();
    try {
      const bool written = device.writeImage(image.data(), std::uint32_t(image.size()), status);
      if (keyboard.slept() - slept > waitBound) __builtin_trap();
      if (written && (!keyboard.tookWhole(image) || status.bStatus != DFU::OK)) __builtin_trap();
      start = keyboard.now();
      if (!written) {
        // The download is given up; a device still busy is left as it is.
        if (!device.saysBusy() && device.bringToIdle(status) && !keyboard.saidIdle()) __builtin_trap();
        if (keyboard.now() - start > DFUDevice::kMaxBusyWaitPerBlock + kLongestBusyTime) __builtin_trap();
      } else if (!device.isConnected() || device.mode() != DFUDevice::kModeRunTime ||
                 (device.sendDFUDetach() && device.reconnectInDFUMode())) {
        // Back in normal mode after the download, it is switched into update
        // mode again for the second image.
        device.writeCustom(secondImage.data(), std::uint32_t(secondImage.size()), kSecondImageType);
      }
      if (!device.saysBusy()) {
        device.returnToAPPMode();
      }
    } catch (const Interrupted&) {
      // The quit: what is left of the download is cancelled within a second
      // (and the time a keyboard busy until then is given to answer), and the
      // updater ends once the time the keyboard announced last is over.
      device.setInterruptionPoint({});
      start = keyboard.now();
      if (device.isConnected() && device.mode() == DFUDevice::kModeDFU &&
          device.bringToIdle(status, kLongestBusyTime) && !keyboard.saidIdle()) {
        __builtin_trap();
      }
      device.waitOutBusyTime();
      if (keyboard.now() - start > kLongestBusyTime + DFUDevice::kLeastTimeToAnswer + DFUDevice::kMaxPollWait + 10ms ||
          keyboard.busyNow()) {
        __builtin_trap();
      }
    }
    device.disconnect();
  }
  LINUX::DeviceTable::instance().release(handle);
  g_keyboard = nullptr;
  return 0;
}
