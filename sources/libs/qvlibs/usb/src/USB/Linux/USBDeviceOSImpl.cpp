#include "USB/Linux/USBDeviceOSImpl.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

#include "QV/GP/StringUtil.h"
#include "USB/Linux/LibusbStatus.h"
#include "USB/Linux/SysfsDevice.h"

namespace QV::QDV2::LINUX {

namespace {

// Standard requests and descriptor types of the USB 2.0 document.
constexpr std::uint8_t kRequestTypeStandardDeviceIn = 0x80;
constexpr std::uint8_t GET_DESCRIPTOR = 6;
constexpr std::uint8_t CONFIGURATION = 2;
constexpr std::uint8_t STRING = 3;

constexpr std::size_t kConfigurationDescriptorLength = 9;
constexpr std::uint16_t kStringDescriptorRequestLength = 512;

USBDevice::Request getDescriptorRequest(std::uint8_t type, std::uint8_t index, std::uint16_t length,
                                        void* data) {
  USBDevice::Request request;
  request.bmRequestType = kRequestTypeStandardDeviceIn;
  request.bRequest = GET_DESCRIPTOR;
  request.wValue = std::uint16_t((type << 8) | index);
  request.wIndex = 0;
  request.wLength = length;
  request.data = data;
  return request;
}

// libusb keeps the device descriptor the kernel read at enumeration, so the
// ids cost no request.
bool readIds(libusb_device* device, USBDeviceInfo& info) {
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) {
    return false;
  }
  info.vendorId = descriptor.idVendor;
  info.productId = descriptor.idProduct;
  info.version = descriptor.bcdDevice;
  return true;
}

// The bus number and the port chain come from what the kernel published at
// enumeration; the device is not opened.
bool locationOf(libusb_device* device, USBDeviceLocation& location) {
  location = USBDeviceLocation{};
  std::array<std::uint8_t, USBDeviceLocation::kMaxDepth> ports{};
  const int depth = libusb_get_port_numbers(device, ports.data(), int(ports.size()));
  if (depth <= 0) {
    // A root hub has no port of its own, and an error tells nothing.
    return false;
  }
  location.busNumber = libusb_get_bus_number(device);
  location.depth = std::uint8_t(depth);
  location.portNumbers = ports;
  return true;
}

// What the kernel recorded of `device` when it enumerated it.
SysfsDevice kernelRecordOf(libusb_device* device) {
  USBDeviceLocation location;
  locationOf(device, location);
  return SysfsDevice::open(location, libusb_get_device_address(device));
}

}  // namespace

USBDeviceOSImpl::Batch::Batch(std::size_t count) : transfers(count), unfinished(count), finished(count == 0) {}

void LIBUSB_CALL USBDeviceOSImpl::Batch::onFinished(libusb_transfer* transfer) {
  static_cast<Batch*>(transfer->user_data)->ended();
}

void USBDeviceOSImpl::Batch::ended() {
  if (unfinished.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    std::atomic_ref(finished).store(1, std::memory_order_release);
  }
}

bool USBDeviceOSImpl::Batch::isFinished() {
  return std::atomic_ref(finished).load(std::memory_order_acquire) != 0;
}

void USBDeviceOSImpl::Batch::cancel() {
  for (const Transfer& transfer : transfers) {
    if (transfer.transfer != nullptr) {
      libusb_cancel_transfer(transfer.transfer);
    }
  }
}

USBDeviceOSImpl::~USBDeviceOSImpl() { disconnect(); }

bool USBDeviceOSImpl::connect(USBDeviceOSHandle handle) {
  // A failed connection must not leave the previous device usable behind a
  // device that says it is not connected, so the old one goes either way.
  disconnect();
  DeviceReference device(handle);
  if (!device) {
    return false;
  }
  libusb_device_handle* opened = nullptr;
  const int result = libusb_open(device.device(), &opened);
  if (result != LIBUSB_SUCCESS) {
    std::printf("Couldn't create a USB device interface (%08x)\n", statusFromLibusb(result));
    return false;
  }
  // The kernel's record is opened with the device and read through for as
  // long as it is held: its strings and its configuration come from one
  // folder, checked once to be this device's.
  m_record = kernelRecordOf(device.device());
  m_device = std::move(device);
  m_handle = opened;
  // The table keeps the context its devices came from while any is held.
  m_context = DeviceTable::instance().context();
  return true;
}

void USBDeviceOSImpl::disconnect() {
  if (m_handle != nullptr) {
    libusb_close(m_handle);
    m_handle = nullptr;
  }
  m_context = nullptr;
  m_record = SysfsDevice();
  m_device.reset();
  m_configuration.clear();
  m_configuration.shrink_to_fit();
}

bool USBDeviceOSImpl::getDeviceInfo(USBDeviceInfo& info) { return getDeviceInfo(info, true); }

bool USBDeviceOSImpl::readDeviceInfo(USBDeviceOSHandle handle, USBDeviceInfo& info,
                                     bool withStrings) {
  // Opening a device needs write access to its node, which a user has for few
  // devices of the machine: the ids come from the descriptor the kernel read
  // at enumeration and the strings from the kernel's record, which anyone may
  // read. The device is opened only to be asked a string the kernel did not
  // keep.
  DeviceReference device(handle);
  if (!device || !readIds(device.device(), info)) {
    return false;
  }
  return !withStrings || readStrings(device, kernelRecordOf(device.device()), info);
}

bool USBDeviceOSImpl::readLocation(USBDeviceOSHandle handle, USBDeviceLocation& location) {
  location = USBDeviceLocation{};
  DeviceReference device(handle);
  return device && locationOf(device.device(), location);
}

bool USBDeviceOSImpl::getDeviceInfo(USBDeviceInfo& info, bool withStrings) {
  if (m_handle == nullptr || !readIds(m_device.device(), info)) {
    return false;
  }
  return !withStrings || readStrings(m_device, m_record, info);
}

bool USBDeviceOSImpl::readStrings(const DeviceReference& device, const SysfsDevice& kernel, USBDeviceInfo& info) {
  // The info may be a reused one: strings of an earlier device must not stay
  // behind when this one's cannot be read.
  info.manufacturer.clear();
  info.product.clear();
  info.serialNumber.clear();
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device.device(), &descriptor) != LIBUSB_SUCCESS) {
    return false;
  }
  const std::tuple<std::uint8_t, const char*, std::string*> strings[] = {
      {descriptor.iManufacturer, "manufacturer", &info.manufacturer},
      {descriptor.iProduct, "product", &info.product},
      {descriptor.iSerialNumber, "serial", &info.serialNumber},
  };
  // A connection opened here for a string the kernel did not keep is closed
  // again; the caller's own is left as it is.
  const bool wasConnected = m_handle != nullptr && m_device.handle() == device.handle();
  bool read = true;
  for (const auto& [index, attribute, text] : strings) {
    if (index == 0 || kernel.readString(attribute, *text)) {
      continue;
    }
    if (m_device.handle() != device.handle() && !connect(device.handle())) {
      read = false;
      break;
    }
    std::u16string units;
    const USBDevice::Status status = getDescriptorString(index, units);
    // A device that refuses a string has none; one that did not answer in
    // time may have any, its serial number included.
    if (status == kIOUSBTransactionTimeout) {
      read = false;
      break;
    }
    if (status == USBDevice::kStatusSuccess) {
      *text = GP::StringUtil::fromUTF<char16_t>(units.data(), units.size());
    }
  }
  if (!wasConnected && m_handle != nullptr) {
    disconnect();
  }
  return read;
}

USBDevice::Status USBDeviceOSImpl::getDescriptorString(std::uint8_t index, std::u16string& text) {
  text.clear();
  std::array<std::uint8_t, kStringDescriptorRequestLength> buffer{};
  USBDevice::Request request =
      getDescriptorRequest(STRING, index, kStringDescriptorRequestLength, buffer.data());
  const USBDevice::Status status = controlTransfer(request);
  if (status != USBDevice::kStatusSuccess) {
    return status;
  }
  return decodeStringDescriptor(buffer.data(), std::min<std::size_t>(request.bytesTransferred, buffer.size()), text)
             ? USBDevice::kStatusSuccess
             : kIOReturnError;
}

bool USBDeviceOSImpl::decodeStringDescriptor(const std::uint8_t* reply, std::size_t received,
                                             std::u16string& text) {
  text.clear();
  if (reply == nullptr || received < 2 || reply[1] != STRING || reply[0] < 2) {
    return false;
  }
  const std::size_t length = std::min<std::size_t>(reply[0], received);
  const std::size_t units = (length - 2) / 2;
  text.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    text.push_back(char16_t(reply[2 + 2 * i] | (reply[3 + 2 * i] << 8)));
  }
  return true;
}

USBDevice::Status USBDeviceOSImpl::controlTransfer(USBDevice::Request& request) {
  USBDevice::Status status = kIOReturnError;
  controlTransfers(std::span(&request, 1), std::span(&status, 1));
  return status;
}

void USBDeviceOSImpl::controlTransfers(std::span<USBDevice::Request> requests,
                                       std::span<USBDevice::Status> statuses) {
  if (m_handle == nullptr || m_context == nullptr) {
    std::fill(statuses.begin(), statuses.end(), USBDevice::kStatusNotConnected);
    return;
  }
  const USBDevice::Wait& limits = wait();
  const Clock::time_point start = Clock::now();
  if (start >= limits.deadline) {
    std::fill(statuses.begin(), statuses.end(), kIOUSBTransactionTimeout);
    return;
  }
  // A deadline shortens libusb's own time-out, so that a transfer past it
  // ends as any timed-out transfer does.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(limits.deadline - start);
  const unsigned timeoutMs = unsigned(std::min<std::chrono::milliseconds::rep>(left.count(), kControlTimeoutMs));
  auto batch = std::make_unique<Batch>(requests.size());
  for (std::size_t i = 0; i < requests.size(); ++i) {
    statuses[i] = submit(requests[i], batch->transfers[i], *batch, timeoutMs);
    // A request that was not submitted ends here; those after it still go,
    // and those before it are waited for.
    if (batch->transfers[i].transfer == nullptr) {
      batch->ended();
    }
  }
  bool finished = false;
  try {
    const Clock::time_point timeOutAt = start + std::chrono::milliseconds(timeoutMs);
    finished = waitUntilFinished(*batch, timeOutAt + std::chrono::milliseconds(kCancelGraceMs),
                                 limits.interruptionPoint);
  } catch (...) {
    // The caller stops waiting. libusb writes into the transfers and the
    // batch until each has ended, so they are cancelled and waited for,
    // briefly, before the exception goes on.
    if (waitUntilFinished(*batch, Clock::now(), nullptr)) {
      finishAll(requests, statuses, *batch);
    } else {
      abandon(std::move(batch));
    }
    throw;
  }
  if (!finished) {
    // libusb still owns transfers that would not end: their memory, and the
    // batch their callback writes to, must outlive them, so the batch is
    // given up rather than freed.
    for (std::size_t i = 0; i < requests.size(); ++i) {
      if (batch->transfers[i].transfer != nullptr) statuses[i] = kIOUSBTransactionTimeout;
    }
    abandon(std::move(batch));
    return;
  }
  finishAll(requests, statuses, *batch);
}

void USBDeviceOSImpl::finishAll(std::span<USBDevice::Request> requests, std::span<USBDevice::Status> statuses,
                                Batch& batch) {
  for (std::size_t i = 0; i < requests.size(); ++i) {
    Transfer& transfer = batch.transfers[i];
    if (transfer.transfer != nullptr) {
      statuses[i] = finish(requests[i], transfer);
    }
  }
}

void USBDeviceOSImpl::abandon(std::unique_ptr<Batch> batch) {
  // Never destroyed, not even at exit, when libusb's event thread may still
  // run; held where the process can reach it, so that it is not taken for a
  // leak.
  static std::mutex* const mutex = new std::mutex;
  static auto* const abandoned = new std::vector<std::unique_ptr<Batch>>;
  std::lock_guard lock(*mutex);
  abandoned->push_back(std::move(batch));
}

USBDevice::Status USBDeviceOSImpl::submit(USBDevice::Request& request, Transfer& transfer, Batch& batch,
                                          unsigned timeoutMs) {
  if (request.wLength != 0 && request.data == nullptr) {
    return kIOReturnBadArgument;
  }
  transfer.buffer = std::make_unique<unsigned char[]>(LIBUSB_CONTROL_SETUP_SIZE + std::size_t(request.wLength));
  libusb_transfer* submitted = libusb_alloc_transfer(0);
  if (submitted == nullptr) {
    return kIOReturnNoMemory;
  }
  unsigned char* setup = transfer.buffer.get();
  libusb_fill_control_setup(setup, request.bmRequestType, request.bRequest, request.wValue, request.wIndex,
                            request.wLength);
  if ((request.bmRequestType & LIBUSB_ENDPOINT_IN) == 0 && request.wLength != 0) {
    std::memcpy(setup + LIBUSB_CONTROL_SETUP_SIZE, request.data, request.wLength);
  }
  libusb_fill_control_transfer(submitted, m_handle, setup, &Batch::onFinished, &batch, timeoutMs);
  const int result = libusb_submit_transfer(submitted);
  if (result != LIBUSB_SUCCESS) {
    libusb_free_transfer(submitted);
    return statusFromLibusb(result);
  }
  transfer.transfer = submitted;
  return USBDevice::kStatusSuccess;
}

bool USBDeviceOSImpl::waitUntilFinished(Batch& batch, Clock::time_point cancelAt,
                                        const std::function<void()>& interruptionPoint) {
  // Each transfer ends at the latest at its time-out, which libusb applies
  // while it handles events. Should event handling fail, the transfers are
  // cancelled, as libusb's own synchronous calls do, and past a last
  // deadline they are not waited for any longer. Events are handled in short
  // slices, between which the caller may stop the wait.
  const Clock::time_point giveUpAt = cancelAt + std::chrono::milliseconds(kCancelGraceMs);
  bool cancelled = false;
  while (!batch.isFinished()) {
    if (interruptionPoint) {
      interruptionPoint();
    }
    const Clock::time_point now = Clock::now();
    if (now >= giveUpAt) {
      return false;
    }
    if (now >= cancelAt && !cancelled) {
      batch.cancel();
      cancelled = true;
    }
    const Clock::time_point until =
        std::min(cancelled ? giveUpAt : cancelAt, now + std::chrono::milliseconds(kWaitSliceMs));
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(until - now);
    timeval timeout{time_t(left.count() / 1000000), suseconds_t(left.count() % 1000000)};
    const int result = libusb_handle_events_timeout_completed(m_context, &timeout, &batch.finished);
    if (result < 0 && result != LIBUSB_ERROR_INTERRUPTED && !cancelled) {
      batch.cancel();
      cancelled = true;
    }
  }
  return true;
}

USBDevice::Status USBDeviceOSImpl::finish(USBDevice::Request& request, Transfer& transfer) {
  libusb_transfer* done = std::exchange(transfer.transfer, nullptr);
  int result = LIBUSB_ERROR_IO;
  switch (done->status) {
    case LIBUSB_TRANSFER_COMPLETED:
      result = done->actual_length;
      break;
    case LIBUSB_TRANSFER_TIMED_OUT:
      result = LIBUSB_ERROR_TIMEOUT;
      break;
    case LIBUSB_TRANSFER_STALL:
      result = LIBUSB_ERROR_PIPE;
      break;
    case LIBUSB_TRANSFER_NO_DEVICE:
      result = LIBUSB_ERROR_NO_DEVICE;
      break;
    case LIBUSB_TRANSFER_OVERFLOW:
      result = LIBUSB_ERROR_OVERFLOW;
      break;
    default:
      break;
  }
  libusb_free_transfer(done);
  if (result < 0) {
    return statusFromLibusb(result);
  }
  // A device never gets more than it was asked for into the caller's buffer.
  const std::size_t received = std::min<std::size_t>(std::size_t(result), request.wLength);
  if ((request.bmRequestType & LIBUSB_ENDPOINT_IN) != 0 && received != 0) {
    std::memcpy(request.data, transfer.buffer.get() + LIBUSB_CONTROL_SETUP_SIZE, received);
  }
  request.bytesTransferred = std::uint32_t(received);
  return USBDevice::kStatusSuccess;
}

const std::uint8_t* USBDeviceOSImpl::getConfigurationDescriptor(std::uint32_t& size) {
  size = 0;
  m_configuration.clear();
  if (m_handle == nullptr) {
    return nullptr;
  }
  // The kernel keeps the configuration the device sent when it was
  // enumerated, and reading it there sends the device nothing: the device is
  // asked only when the kernel's copy cannot be read.
  if (!m_record.readFirstConfiguration(m_configuration) &&
      !askConfigurationDescriptor()) {
    m_configuration.clear();
    return nullptr;
  }
  size = std::uint32_t(m_configuration.size());
  return m_configuration.data();
}

bool USBDeviceOSImpl::askConfigurationDescriptor() {
  // The header alone tells how long the whole descriptor set is.
  std::array<std::uint8_t, kConfigurationDescriptorLength> header{};
  USBDevice::Request request =
      getDescriptorRequest(CONFIGURATION, 0, kConfigurationDescriptorLength, header.data());
  if (controlTransfer(request) != USBDevice::kStatusSuccess ||
      request.bytesTransferred < kConfigurationDescriptorLength || header[1] != CONFIGURATION) {
    return false;
  }
  // wTotalLength is 16 bits, so the read is bounded at 65535 bytes; it must at
  // least hold the header it came in.
  const std::uint16_t totalLength = std::uint16_t(header[2] | (header[3] << 8));
  if (totalLength < kConfigurationDescriptorLength) {
    return false;
  }
  m_configuration.assign(totalLength, 0);
  request = getDescriptorRequest(CONFIGURATION, 0, totalLength, m_configuration.data());
  if (controlTransfer(request) != USBDevice::kStatusSuccess ||
      request.bytesTransferred < kConfigurationDescriptorLength) {
    return false;
  }
  // A device that sends less than it announced is taken at what it sent.
  m_configuration.resize(std::min<std::size_t>(request.bytesTransferred, totalLength));
  return true;
}

}  // namespace QV::QDV2::LINUX

namespace QV::QDV2 {

USBDevice::OSImpl* USBDevice::createOSImpl() { return new LINUX::USBDeviceOSImpl; }

}  // namespace QV::QDV2
