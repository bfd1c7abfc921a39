#include "QV/QDV2/FX2Device.h"

#include <atomic>
#include <cstring>
#include <thread>

#include "QV/QDV2/Logging.h"

namespace QV::QDV2 {

namespace {

// Field offsets and sizes of the driver's record.
constexpr std::size_t kVendorIdOffset = 0;
constexpr std::size_t kProductIdOffset = 2;
constexpr std::size_t kSerialNumberOffset = 4;
constexpr std::size_t kSerialNumberSize = 33;
constexpr std::size_t kProductNameOffset = 37;
constexpr std::size_t kProductNameSize = 33;
constexpr std::size_t kManufacturerOffset = 70;
constexpr std::size_t kManufacturerSize = 34;
constexpr std::size_t kReleaseNumberOffset = 104;

static_assert(kReleaseNumberOffset + 2 + 4 == TolvaUSBDeviceInfo::kSize);

constexpr const char* kCategory = "FX2Device";

std::uint16_t readU16(const TolvaUSBDeviceInfo::Bytes& bytes, std::size_t offset) {
  return std::uint16_t(bytes[offset] | (bytes[offset + 1] << 8));
}

std::string readText(const TolvaUSBDeviceInfo::Bytes& bytes, std::size_t offset, std::size_t size) {
  const auto* begin = reinterpret_cast<const char*>(bytes.data() + offset);
  const void* nul = std::memchr(begin, '\0', size);
  return std::string(begin, nul != nullptr ? static_cast<const char*>(nul) : begin + size);
}

void realSleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

constinit std::atomic<FX2Device::OSImpl::SleepFunction> s_sleep{&realSleep};

// Calls the information method into `bytes`; logs and gives false on failure.
bool callGetDeviceInfo(FX2Device::Connection& connection, TolvaUSBDeviceInfo::Bytes& bytes) {
  std::size_t size = bytes.size();
  const std::uint32_t status =
      connection.callMethod(FX2Device::OSImpl::kSelectorGetDeviceInfo, bytes.data(), size);
  if (status == 0) {
    return true;
  }
  if (Logging::isEnabled(Logging::eLevel1, kCategory)) {
    Logging::detail::__trace__msg(Logging::eLevel1,
                                  "%s: IOConnectCallMethod(GetDeviceInfo) failed with 0x%x\n",
                                  kCategory, status);
  }
  return false;
}

}  // namespace

TolvaUSBDeviceInfo TolvaUSBDeviceInfo::fromBytes(const Bytes& bytes) {
  TolvaUSBDeviceInfo record;
  record.vendorId = readU16(bytes, kVendorIdOffset);
  record.productId = readU16(bytes, kProductIdOffset);
  record.serialNumber = readText(bytes, kSerialNumberOffset, kSerialNumberSize);
  record.productName = readText(bytes, kProductNameOffset, kProductNameSize);
  record.manufacturer = readText(bytes, kManufacturerOffset, kManufacturerSize);
  record.releaseNumber = releaseNumberOf(bytes);
  return record;
}

std::uint16_t TolvaUSBDeviceInfo::releaseNumberOf(const Bytes& bytes) {
  return readU16(bytes, kReleaseNumberOffset);
}

bool FX2Device::OSImpl::getTolvaUSBDeviceInfo(Connection& connection, TolvaUSBDeviceInfo& record) {
  // The whole record starts cleared, so a short reply leaves zeros rather than
  // stale bytes, and a release number of 0 means the driver wrote none.
  TolvaUSBDeviceInfo::Bytes bytes{};
  if (!callGetDeviceInfo(connection, bytes)) {
    return false;
  }
  // The driver fills the record some time after the device arrives; until
  // then it answers with a release number of 0.
  int retry = 1;
  for (; retry <= kMaxRetries && TolvaUSBDeviceInfo::releaseNumberOf(bytes) == 0; ++retry) {
    const int delayMs = 100 * retry;
    if (Logging::isEnabled(Logging::eLevel1, kCategory)) {
      Logging::detail::__trace__msg(
          Logging::eLevel1, "%s: IOConnectCallMethod(GetDeviceInfo) timed out -> sleeping for %d ms\n",
          kCategory, delayMs);
    }
    s_sleep.load()(std::chrono::milliseconds(delayMs));
    if (!callGetDeviceInfo(connection, bytes)) {
      return false;
    }
  }
  if (TolvaUSBDeviceInfo::releaseNumberOf(bytes) == 0 &&
      Logging::isEnabled(Logging::eLevel1, kCategory)) {
    Logging::detail::__trace__msg(Logging::eLevel1,
                                  "%s: IOConnectCallMethod(GetDeviceInfo) timed out %d times -> gave up\n",
                                  kCategory, kMaxRetries);
  }
  // A record without release number is still used as read.
  record = TolvaUSBDeviceInfo::fromBytes(bytes);
  return true;
}

void FX2Device::OSImpl::setSleepFunction(SleepFunction sleep) {
  s_sleep.store(sleep != nullptr ? sleep : &realSleep);
}

bool FX2Device::getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                         bool withStrings) {
  std::unique_ptr<Connection> connection = Connection::open(handle);
  if (!connection) {
    return false;
  }
  TolvaUSBDeviceInfo record;
  if (!OSImpl::getTolvaUSBDeviceInfo(*connection, record)) {
    return false;
  }
  info.vendorId = record.vendorId;
  info.productId = record.productId;
  info.version = record.releaseNumber;
  if (withStrings) {
    info.manufacturer = record.manufacturer;
    info.product = record.productName;
    info.serialNumber = record.serialNumber;
  }
  return true;
}

}  // namespace QV::QDV2
