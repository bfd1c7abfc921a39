#pragma once

#include "QV/QDV2/USBDeviceFactory.h"

namespace QV::QDV2 {

// The platform part of a USBDeviceFactory: the operations the shared code
// calls, and the way back to the owner's callbacks. Each platform derives one
// class from it and builds it in create().
class USBDeviceFactory::OSImpl {
 public:
  // The platform's part for `owner`.
  static OSImpl* create(USBDeviceFactory& owner);

  explicit OSImpl(USBDeviceFactory& owner) : m_owner(owner) {}
  virtual ~OSImpl() = default;
  OSImpl(const OSImpl&) = delete;
  OSImpl& operator=(const OSImpl&) = delete;

  // Arms discovery for `filter` and reports the devices present now. With
  // `keepRunning` true, later arrivals and departures are reported from
  // handleEvents(). False when the platform cannot be set up.
  virtual bool initWithDeviceFilter(const USBDeviceFilter& filter, bool keepRunning) = 0;
  // Disarms discovery and releases every device held. Safe to call repeatedly.
  virtual void deInit() = 0;
  // Delivers pending arrivals and departures; returns at once when none.
  virtual void handleEvents() = 0;

 protected:
  // The owner's callbacks, read at the time of the report so that callbacks
  // replaced after initialisation take effect.
  void reportFound(USBDeviceOSHandle handle, const USBDeviceFilter& filter) const;
  void reportRemoved(USBDeviceOSHandle handle, const USBDeviceFilter& filter) const;

 private:
  USBDeviceFactory& m_owner;
};

}  // namespace QV::QDV2
