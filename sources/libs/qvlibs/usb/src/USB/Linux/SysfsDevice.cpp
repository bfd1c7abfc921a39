#include "USB/Linux/SysfsDevice.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace QV::QDV2::LINUX {

namespace {

constexpr std::size_t kDeviceDescriptorLength = 18;
constexpr std::size_t kConfigurationDescriptorLength = 9;
constexpr std::uint8_t CONFIGURATION = 2;
// The device descriptor and the longest configuration a wTotalLength can
// announce: all of the record that is ever needed.
constexpr std::size_t kMaxDescriptorsRead = kDeviceDescriptorLength + 0xFFFF;
// A bus number or an address in decimal, with the line break.
constexpr std::size_t kMaxNumberLength = 8;

}  // namespace

SysfsDevice::~SysfsDevice() {
  if (m_folder >= 0) {
    ::close(m_folder);
  }
}

SysfsDevice::SysfsDevice(SysfsDevice&& other) noexcept : m_folder(std::exchange(other.m_folder, -1)) {}

SysfsDevice& SysfsDevice::operator=(SysfsDevice&& other) noexcept {
  if (this != &other) {
    SysfsDevice old(std::exchange(m_folder, std::exchange(other.m_folder, -1)));
  }
  return *this;
}

SysfsDevice SysfsDevice::open(const USBDeviceLocation& location, std::uint8_t address,
                              const std::string& devicesFolder) {
  if (!location.isKnown()) {
    return SysfsDevice();
  }
  const std::string path = devicesFolder + "/" + location.text();
  SysfsDevice record(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  unsigned busNumber = 0;
  unsigned deviceAddress = 0;
  if (!record || !record.readNumber("busnum", busNumber) || !record.readNumber("devnum", deviceAddress) ||
      busNumber != location.busNumber || deviceAddress != address) {
    return SysfsDevice();
  }
  return record;
}

bool SysfsDevice::read(const char* name, std::size_t limit, std::string& bytes) const {
  bytes.clear();
  if (m_folder < 0) {
    return false;
  }
  const int file = ::openat(m_folder, name, O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    return false;
  }
  // One byte more than the limit tells an attribute that is too long.
  bytes.resize(limit + 1);
  std::size_t got = 0;
  bool failed = false;
  while (got < bytes.size()) {
    const ssize_t n = ::read(file, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      failed = n < 0;
      break;
    }
    got += std::size_t(n);
  }
  ::close(file);
  bytes.resize(got);
  return !failed;
}

bool SysfsDevice::readNumber(const char* name, unsigned& number) const {
  std::string text;
  if (!read(name, kMaxNumberLength, text) || text.size() > kMaxNumberLength || text.empty() || text.back() != '\n') {
    return false;
  }
  text.pop_back();
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  number = unsigned(std::stoul(text));
  return true;
}

bool SysfsDevice::readString(const char* name, std::string& text) const {
  text.clear();
  std::string bytes;
  if (!read(name, kMaxStringAttributeLength, bytes) || bytes.size() > kMaxStringAttributeLength) {
    return false;
  }
  if (!bytes.empty() && bytes.back() == '\n') {
    bytes.pop_back();
  }
  text = std::move(bytes);
  return true;
}

bool SysfsDevice::readFirstConfiguration(std::vector<std::uint8_t>& configuration) const {
  configuration.clear();
  std::string bytes;
  if (!read("descriptors", kMaxDescriptorsRead, bytes) ||
      bytes.size() < kDeviceDescriptorLength + kConfigurationDescriptorLength) {
    return false;
  }
  const auto* header = reinterpret_cast<const std::uint8_t*>(bytes.data()) + kDeviceDescriptorLength;
  const std::size_t present = std::min(bytes.size(), kMaxDescriptorsRead) - kDeviceDescriptorLength;
  const std::size_t totalLength = std::size_t(header[2] | (header[3] << 8));
  if (header[1] != CONFIGURATION || header[0] < kConfigurationDescriptorLength ||
      totalLength < kConfigurationDescriptorLength) {
    return false;
  }
  configuration.assign(header, header + std::min(totalLength, present));
  return true;
}

}  // namespace QV::QDV2::LINUX
