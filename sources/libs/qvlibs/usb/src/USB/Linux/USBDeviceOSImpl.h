#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <libusb.h>

#include "QV/QDV2/USBDeviceOSImpl.h"
#include "USB/Linux/DeviceTable.h"

namespace QV::QDV2::LINUX {

// The libusb platform part of a USBDevice: an open libusb handle on a device
// of the process's device table, whose entry it holds while connected.
//
// Interfaces are not claimed. Linux lets a process send control requests on
// the default pipe without claiming anything; for a request addressed to an
// interface usbfs claims that interface on the caller's behalf when no kernel
// driver holds it, which is the case for the DFU interfaces.
//
// Thread: the shared USBDevice code serialises every call through mutex().
class USBDeviceOSImpl final : public USBDevice::OSImpl {
 public:
  // How long one control transfer may take before it fails with a time-out.
  static constexpr unsigned kControlTimeoutMs = 5000;
  // Linux's USB file system carries at most 4096 bytes of data in one control
  // transfer; libusb refuses a larger one before it reaches the kernel.
  static constexpr std::uint32_t kMaxControlTransferLength = 4096;

  USBDeviceOSImpl() = default;
  ~USBDeviceOSImpl() override;

  bool connect(USBDeviceOSHandle handle) override;
  void disconnect() override;
  bool getDeviceInfo(USBDeviceInfo& info) override;
  bool getDeviceInfo(USBDeviceInfo& info, bool withStrings) override;
  bool readDeviceInfo(USBDeviceOSHandle handle, USBDeviceInfo& info, bool withStrings) override;
  bool readLocation(USBDeviceOSHandle handle, USBDeviceLocation& location) override;
  USBDevice::Status controlTransfer(USBDevice::Request& request) override;
  const std::uint8_t* getConfigurationDescriptor(std::uint32_t& size) override;
  std::uint32_t maxControlTransferLength() const override { return kMaxControlTransferLength; }

  // The text of a string descriptor of which `received` bytes came back.
  // False unless it is a string descriptor (type 3, bLength at least 2). The
  // device's bLength is believed only as far as bytes were received, and an
  // odd length drops its last byte.
  static bool decodeStringDescriptor(const std::uint8_t* reply, std::size_t received,
                                     std::u16string& text);

 private:
  // Reads string descriptor `index` with language id 0, which devices answer
  // in their only or first language; false when the request fails or the
  // reply is not a string descriptor.
  bool getDescriptorString(std::uint8_t index, std::u16string& text);

  DeviceReference m_device;
  libusb_device_handle* m_handle = nullptr;
  std::vector<std::uint8_t> m_configuration;
};

}  // namespace QV::QDV2::LINUX
