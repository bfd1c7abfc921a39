#include "SysfsRecord.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace simkbd {
namespace {

constexpr std::size_t kDeviceDescriptorLength = 18;
constexpr std::size_t kConfigurationHeaderLength = 9;
constexpr std::uint8_t kConfigurationType = 2;
constexpr std::uint8_t kInterfaceType = 4;
constexpr unsigned kUsbDeviceMajor = 189;  // the kernel's major number of usbfs device nodes

std::uint16_t word(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, args...);
  return buffer;
}

// umockdev's record format is line-based, and it reads an attribute back
// through g_strcompress (umockdev 0.17.16): backslashes and line breaks
// inside an attribute are escaped, carriage returns too, which it refuses
// unescaped. Its reader also ends a line at the other Unicode line breaks
// (vertical tab, form feed, U+0085, U+2028, U+2029), which go as octal
// escapes of their bytes. A serial number is user input and may hold them all.
std::string escaped(const std::string& value) {
  static constexpr std::string_view kLineBreaks[] = {"\v", "\f", "\u0085", "\u2028", "\u2029"};
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (const auto* lineBreak = std::find_if(std::begin(kLineBreaks), std::end(kLineBreaks),
                                                    [&](std::string_view b) { return value.compare(i, b.size(), b) == 0; });
               lineBreak != std::end(kLineBreaks)) {
      for (const char byte : *lineBreak) out += format("\\%03o", static_cast<unsigned char>(byte));
      i += lineBreak->size() - 1;
    } else {
      out += c;
    }
  }
  return out;
}

std::string hex(std::span<const std::uint8_t> bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

// The descriptors the kernel keeps of the keyboard: the device descriptor and
// the configuration as the keyboard sent it, up to the first descriptor whose
// length is impossible, its header announcing what the keyboard announced.
std::vector<std::uint8_t> keptByTheKernel(const SimulatedKeyboard& keyboard) {
  std::vector<std::uint8_t> kept = keyboard.deviceDescriptor();
  const std::vector<std::uint8_t> sent = keyboard.configurationDescriptor();
  std::size_t length = 0;
  while (length + 2 <= sent.size() && sent[length] >= 2 && length + sent[length] <= sent.size()) length += sent[length];
  kept.insert(kept.end(), sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(length));
  return kept;
}

}  // namespace

std::vector<SysfsRecord::Interface> SysfsRecord::interfaces(std::span<const std::uint8_t> descriptors) {
  std::vector<Interface> found;
  std::size_t offset = kDeviceDescriptorLength;
  while (offset + 2 <= descriptors.size()) {
    std::size_t length = descriptors[offset];
    if (length < 2 || offset + length > descriptors.size()) break;
    if (descriptors[offset + 1] == kInterfaceType && length >= 4) {
      found.push_back({descriptors[offset + 2], descriptors[offset + 3]});
    }
    offset += length;
  }
  return found;
}

bool SysfsRecord::hasInterface(unsigned number) const {
  return std::any_of(m_interfaces.begin(), m_interfaces.end(),
                     [&](const Interface& i) { return i.number == number; });
}

bool SysfsRecord::hasAlternateSetting(unsigned number, unsigned alternateSetting) const {
  return std::any_of(m_interfaces.begin(), m_interfaces.end(), [&](const Interface& i) {
    return i.number == number && i.alternateSetting == alternateSetting;
  });
}

std::optional<SysfsRecord> SysfsRecord::build(const SimulatedKeyboard& keyboard, unsigned busnum,
                                              unsigned devnum, unsigned port, std::string& error) {
  const std::vector<std::uint8_t> descriptors = keptByTheKernel(keyboard);
  const std::span<const std::uint8_t> bytes(descriptors);
  if (bytes.size() < kDeviceDescriptorLength + kConfigurationHeaderLength ||
      bytes[0] != kDeviceDescriptorLength ||
      bytes[kDeviceDescriptorLength + 1] != kConfigurationType) {
    error = "the keyboard's descriptors are not a device and a configuration descriptor";
    return std::nullopt;
  }
  const std::span<const std::uint8_t> config = bytes.subspan(kDeviceDescriptorLength);

  SysfsRecord record;
  record.m_devnum = devnum;
  record.m_port = port;
  record.m_configurationValue = config[5];
  record.m_interfaces = interfaces(bytes);
  const std::string bus = format("%03u", busnum);
  const std::string dev = format("%03u", devnum);
  const std::string devpath = format("%u", port);
  const std::string devicePath = format("/devices/pci0000:00/0000:00:14.0/usb%u/%u-%u", busnum, busnum, port);
  record.m_syspath = "/sys" + devicePath;
  record.m_devnode = "/dev/bus/usb/" + bus + "/" + dev;

  const std::uint16_t bcdUSB = word(bytes, 2);
  const std::uint16_t idVendor = word(bytes, 8);
  const std::uint16_t idProduct = word(bytes, 10);
  const std::uint16_t bcdDevice = word(bytes, 12);

  std::string& t = record.m_text;
  t += "P: " + devicePath + "\n";
  t += "N: bus/usb/" + bus + "/" + dev + "\n";
  t += "E: SUBSYSTEM=usb\n";
  t += "E: DEVTYPE=usb_device\n";
  t += "E: DRIVER=usb\n";
  t += "E: DEVNAME=" + record.m_devnode + "\n";
  t += "E: BUSNUM=" + bus + "\n";
  t += "E: DEVNUM=" + dev + "\n";
  t += format("E: MAJOR=%u\n", kUsbDeviceMajor);
  t += format("E: MINOR=%u\n", (busnum - 1) * 128 + (devnum - 1));
  t += format("E: PRODUCT=%x/%x/%x\n", idVendor, idProduct, bcdDevice);
  t += format("E: TYPE=%u/%u/%u\n", bytes[4], bytes[5], bytes[6]);

  // Attribute texts end with a line break, as the kernel writes them; libusb
  // warns about attributes that do not.
  auto attribute = [&t](const std::string& name, const std::string& value) {
    t += "A: " + name + "=" + escaped(value) + "\\n\n";
  };
  attribute("busnum", format("%u", busnum));
  attribute("devnum", format("%u", devnum));
  attribute("devpath", devpath);
  attribute("speed", "12");
  attribute("version", format("%2x.%02x", bcdUSB >> 8, bcdUSB & 0xFF));
  attribute("maxchild", "0");
  attribute("bDeviceClass", format("%02x", bytes[4]));
  attribute("bDeviceSubClass", format("%02x", bytes[5]));
  attribute("bDeviceProtocol", format("%02x", bytes[6]));
  attribute("bMaxPacketSize0", format("%u", bytes[7]));
  attribute("idVendor", format("%04x", idVendor));
  attribute("idProduct", format("%04x", idProduct));
  attribute("bcdDevice", format("%04x", bcdDevice));
  attribute("bNumConfigurations", format("%u", bytes[17]));
  attribute("bConfigurationValue", format("%u", config[5]));
  attribute("bNumInterfaces", format("%2u", config[4]));
  attribute("bmAttributes", format("%2x", config[7]));
  attribute("bMaxPower", format("%umA", config[8] * 2u));
  // The kernel publishes a string only when the device descriptor names one
  // and the device answered its read at enumeration; a read the keyboard
  // leaves unanswered timed out there, and the attribute is missing.
  const auto published = [&keyboard](std::uint8_t index) {
    return index != 0 && !keyboard.leavesStringUnanswered(index);
  };
  if (published(bytes[14])) attribute("manufacturer", keyboard.manufacturer());
  if (published(bytes[15])) attribute("product", keyboard.product());
  if (published(bytes[16])) attribute("serial", keyboard.config().serial);
  t += "H: descriptors=" + hex(bytes) + "\n";
  return record;
}

}  // namespace simkbd
