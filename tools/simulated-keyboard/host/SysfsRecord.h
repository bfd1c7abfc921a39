// What the kernel publishes about one appearance of the keyboard on the bus:
// the sysfs attributes and uevent properties libusb and libudev read, written
// in umockdev's device-record format, plus the facts of the configuration the
// usbfs handler needs to answer interface requests.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "SimulatedKeyboard.h"

namespace simkbd {

class SysfsRecord {
 public:
  struct Interface {
    std::uint8_t number = 0;
    std::uint8_t alternateSetting = 0;
  };

  // Builds the record of `keyboard` as it is now, attached to root-hub port
  // `port` of bus `busnum` with address `devnum` (1..127). Returns nothing and
  // sets `error` when the keyboard's descriptors cannot be read.
  static std::optional<SysfsRecord> build(const SimulatedKeyboard& keyboard, unsigned busnum,
                                          unsigned devnum, unsigned port, std::string& error);

  // The interfaces (with every alternate setting) of the configuration in
  // `descriptors`, the device descriptor followed by one configuration
  // descriptor as sysfs holds them. Stops at the first malformed descriptor.
  static std::vector<Interface> interfaces(std::span<const std::uint8_t> descriptors);

  const std::string& text() const { return m_text; }
  const std::string& syspath() const { return m_syspath; }  // "/sys/devices/..."
  const std::string& devnode() const { return m_devnode; }  // "/dev/bus/usb/BBB/DDD"
  unsigned devnum() const { return m_devnum; }
  unsigned port() const { return m_port; }
  std::uint8_t configurationValue() const { return m_configurationValue; }
  const std::vector<Interface>& interfaceList() const { return m_interfaces; }
  bool hasInterface(unsigned number) const;
  bool hasAlternateSetting(unsigned number, unsigned alternateSetting) const;

 private:
  std::string m_text;
  std::string m_syspath;
  std::string m_devnode;
  unsigned m_devnum = 0;
  unsigned m_port = 0;
  std::uint8_t m_configurationValue = 0;
  std::vector<Interface> m_interfaces;
};

}  // namespace simkbd
