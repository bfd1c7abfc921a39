#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QV/QDV2/USBDeviceLocation.h"

namespace QV::QDV2::LINUX {

// What the kernel recorded of one USB device when it enumerated it, as sysfs
// publishes it in the device's folder: the descriptors the device sent then
// and the strings its device descriptor names. Reading the record sends the
// device nothing, so a device busy with a long operation, or one that answers
// nothing, can still be named.
//
// The folder is named after the device's place on the bus ("1-3.2"), which a
// device that came in the place of one that left takes over; so it is taken
// for the device only when its bus number and address are the device's. It
// stays open, and every read goes through it: should the device leave, the
// reads fail rather than find its successor's record.
//
// Plain POSIX reads rather than libudev: they keep each read within a bound
// of its own and take a string byte for byte (libudev strips every trailing
// line break and carriage return, which a serial number may end with), and
// need no library besides libusb, which reads the same folder this way.
//
// Thread: any; an object is used by one thread at a time.
class SysfsDevice {
 public:
  // Where the kernel lists USB devices by the names of their places.
  static constexpr const char* kDevicesFolder = "/sys/bus/usb/devices";
  // The longest string attribute: a string descriptor holds at most 126
  // UTF-16 units, which make at most three bytes of UTF-8 each, and the
  // kernel adds a line break.
  static constexpr std::size_t kMaxStringAttributeLength = 126 * 3 + 1;

  SysfsDevice() = default;
  ~SysfsDevice();
  SysfsDevice(SysfsDevice&& other) noexcept;
  SysfsDevice& operator=(SysfsDevice&& other) noexcept;
  SysfsDevice(const SysfsDevice&) = delete;
  SysfsDevice& operator=(const SysfsDevice&) = delete;

  // The record of the device at `location` with bus address `address`, in
  // `devicesFolder`; an empty one when the place is unknown, when there is no
  // folder for it, or when the folder holds another device.
  static SysfsDevice open(const USBDeviceLocation& location, std::uint8_t address,
                          const std::string& devicesFolder = kDevicesFolder);

  explicit operator bool() const { return m_folder >= 0; }

  // The string attribute `name` ("manufacturer", "product", "serial") as the
  // device sent it, without the one line break the kernel adds. False when
  // the kernel did not keep the string (no such attribute: the device refused
  // it, or it was empty), when it cannot be read, or when it is longer than
  // a string descriptor makes; and for an empty record.
  bool readString(const char* name, std::string& text) const;

  // The first configuration descriptor with the descriptors under it, as the
  // kernel keeps it behind the device descriptor in `descriptors`: as long as
  // its wTotalLength says, never past what is there (a device that announced
  // more than it sent is taken at what it sent). False when the record holds
  // no device descriptor followed by a configuration descriptor, and for an
  // empty record.
  bool readFirstConfiguration(std::vector<std::uint8_t>& configuration) const;

 private:
  explicit SysfsDevice(int folder) : m_folder(folder) {}

  // The attribute `name`, at most `limit` bytes of it, and one more when it
  // holds more; false when it cannot be opened or read.
  bool read(const char* name, std::size_t limit, std::string& bytes) const;
  // The attribute `name` as a decimal number followed by a line break.
  bool readNumber(const char* name, unsigned& number) const;

  int m_folder = -1;
};

}  // namespace QV::QDV2::LINUX
