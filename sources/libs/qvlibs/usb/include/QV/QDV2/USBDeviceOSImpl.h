#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <utility>

#include "QV/QDV2/USBDevice.h"

namespace QV::QDV2 {

// The platform part of a USBDevice. The shared code never touches platform
// state; it calls these operations under the lock this object owns.
class USBDevice::OSImpl {
 public:
  virtual ~OSImpl() = default;

  // Opens the device; false when it cannot be opened. Replaces a device that
  // is already open.
  virtual bool connect(USBDeviceOSHandle handle) = 0;
  // Releases the open device, if any.
  virtual void disconnect() = 0;
  // Reads ids, release number and the three strings of the open device;
  // false when they cannot all be read, a string the device was asked for and
  // did not answer in time included.
  virtual bool getDeviceInfo(USBDeviceInfo& info) = 0;
  // Reads ids and release number, and the strings only when `withStrings`.
  // The default reads everything.
  virtual bool getDeviceInfo(USBDeviceInfo& info, bool withStrings) { return getDeviceInfo(info); }
  // Reads the info of the device behind `handle` without keeping it. The
  // default opens the device, reads and closes it; a platform that knows what
  // the system recorded of a device when it was enumerated overrides this, so
  // that discovery neither opens the devices it looks at nor sends them
  // anything, a busy device included.
  virtual bool readDeviceInfo(USBDeviceOSHandle handle, USBDeviceInfo& info, bool withStrings);
  // Where the device behind `handle` sits on the bus. The default cannot
  // tell and gives false.
  virtual bool readLocation(USBDeviceOSHandle handle, USBDeviceLocation& location) {
    (void)handle;
    location = USBDeviceLocation{};
    return false;
  }
  virtual bool getDriverVersion(std::string&) { return false; }
  virtual bool getDriverVersion(unsigned&) { return false; }
  // kStatusNotConnected when no device is open.
  virtual Status controlTransfer(Request& request) = 0;
  // See USBDevice::controlTransfers; `statuses` is as long as `requests`.
  // The default sends them one after the other through controlTransfer.
  virtual void controlTransfers(std::span<Request> requests, std::span<Status> statuses);
  // See USBDevice::getConfigurationDescriptor.
  virtual const std::uint8_t* getConfigurationDescriptor(std::uint32_t& size) = 0;
  // See USBDevice::maxControlTransferLength. The default is what a setup
  // packet can ask for.
  virtual std::uint32_t maxControlTransferLength() const { return 0xFFFF; }

  std::recursive_mutex& mutex() { return m_mutex; }

  // How the requests in progress may wait for the device (see
  // USBDevice::Wait); a wait without limits outside a request. Set by the
  // device under the lock for the length of one request or batch; returns
  // the wait it replaces.
  const Wait& wait() const { return m_wait != nullptr ? *m_wait : kUnlimitedWait; }
  const Wait* setWait(const Wait* wait) { return std::exchange(m_wait, wait); }

 private:
  static inline const Wait kUnlimitedWait{};
  std::recursive_mutex m_mutex;
  const Wait* m_wait = nullptr;
};

}  // namespace QV::QDV2
