#pragma once

#include <functional>

#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceFilter.h"
#include "QV/QDV2/USBDeviceInfo.h"
#include "QV/QDV2/USBDeviceOSHandle.h"

namespace QV::QDV2 {

// Finds the devices that match one filter and reports each to a "found"
// callback. Every user in this program runs it as a one-shot scan:
// construct, setCallbacks(found, {}), initWithDeviceFilter(filter, false),
// deInit(), destroy; the callbacks then run inside initWithDeviceFilter.
//
// Thread: initialisation, deInit and event handling must run on one thread;
// the callbacks run on that thread. The factory holds no lock.
class USBDeviceFactory {
 public:
  using Callback = std::function<void(const USBDeviceOSHandle&, const USBDeviceFilter&)>;

  class OSImpl;

  USBDeviceFactory();
  virtual ~USBDeviceFactory();
  USBDeviceFactory(const USBDeviceFactory&) = delete;
  USBDeviceFactory& operator=(const USBDeviceFactory&) = delete;

  // Replaces both callbacks; either may be empty.
  void setCallbacks(Callback found, Callback removed);

  // Scans for `filter`. With `keepRunning` false the scan is synchronous and
  // torn down before returning; with true, arrivals and departures keep being
  // reported from handleEvents() until deInit(). False for a filter with an
  // empty class name (no callback runs) or when the platform cannot be set up.
  bool initWithDeviceFilter(const USBDeviceFilter& filter, bool keepRunning);

  // Stops reporting and releases every device the factory holds. Safe to call
  // repeatedly.
  void deInit();

  bool isInitialised() const { return m_initialised; }

  // Delivers pending hot-plug arrivals and departures of a factory armed with
  // keepRunning true, on the calling (initialising) thread. Returns at once
  // when nothing is pending.
  void handleEvents();

  // Reads a found device's ids through the reader the filter's type selects:
  // types 0 and 3 read what the system recorded of the device
  // (USBDevice::getDeviceInfoForOSHandle, a request for what it did not keep
  // waiting as `wait` allows), 1 asks the kernel driver, 2 reads the HID
  // properties; any other type gives false.
  static bool getDeviceInfoForOSHandleWithFilter(const USBDeviceOSHandle& handle,
                                                 const USBDeviceFilter& filter,
                                                 USBDeviceInfo& info, bool withStrings,
                                                 const USBDevice::Wait& wait = USBDevice::Wait{});

 private:
  friend class OSImpl;
  OSImpl* m_osImpl;
  bool m_initialised = false;
  Callback m_found;
  Callback m_removed;
};

}  // namespace QV::QDV2
