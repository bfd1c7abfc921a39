#pragma once

#include "QV/QDV2/USBDeviceInfo.h"
#include "QV/QDV2/USBDeviceOSHandle.h"

namespace QV::QDV2 {

// Reader of a HID device's ids and strings for discovery, with a process-wide
// cache per service. On Linux a HID device is a USB device with an interface
// of class 3, so its properties are those libusb reads from the device.
//
// Thread: any; the cache is only touched under its own lock, which is not
// held while a device is read, so two readers of one service may both read
// and the later store wins.
class HIDDevice {
 public:
  class OSImpl {
   public:
    // Fills `info` from the cache, or reads the device and caches the result.
    // The strings are always read; `withStrings` is not consulted. Properties
    // the device does not report leave their fields as the caller set them.
    // False when the device cannot be read.
    static bool getHIDDeviceInfo(unsigned service, USBDeviceInfo& info, bool withStrings);
  };

  // Discovery's reader for HID filters.
  static bool getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                       bool withStrings);

  // Drops the cached entry of a service that went away; discovery calls it on
  // removal, since a later device may be given the same service number.
  static void forgetDevice(unsigned service);

  // Reads the properties of a service. Tests substitute their own; null
  // restores the libusb reader.
  using PropertyReader = bool (*)(unsigned service, USBDeviceInfo& properties);
  static void setPropertyReader(PropertyReader reader);
};

}  // namespace QV::QDV2
