#pragma once

#include <cstdint>
#include <map>

#include <libusb.h>

#include "QV/QDV2/USBDeviceFilter.h"
#include "USB/USBDeviceFactoryOSImpl.h"

namespace QV::QDV2::LINUX {

// Discovery over libusb. The platform classes map onto USB devices as
// follows: "IOUSBDevice" is every USB device; "IOHIDDevice" is every USB
// device with an interface of class 3 in any configuration; no device is of
// any other class, the kernel driver's included, since Linux has no such
// driver.
//
// A one-shot scan lists the devices libusb knows at the time of the call. An
// armed factory also registers a libusb hot-plug callback. libusb runs that
// callback on whichever thread happens to handle its events, which may be
// another factory's or a device's synchronous transfer on the update worker,
// so the callback only queues the event; handleEvents() lets libusb handle
// what is pending, without waiting, and then delivers the queue on the
// calling thread, as the factory's contract promises.
//
// Thread: one thread for initialisation, handleEvents and deInit.
class USBDeviceFactoryOSImpl final : public USBDeviceFactory::OSImpl {
 public:
  explicit USBDeviceFactoryOSImpl(USBDeviceFactory& owner) : OSImpl(owner) {}
  ~USBDeviceFactoryOSImpl() override;

  bool initWithDeviceFilter(const USBDeviceFilter& filter, bool keepRunning) override;
  void deInit() override;
  void handleEvents() override;

 private:
  // Which devices are services of the filter's class.
  enum class ClassMatch { None, AnyDevice, HIDInterface };

  bool isOfClass(USBDeviceOSHandle handle) const;
  // The caller holds a reference on `handle` for the duration of the call.
  void onDeviceAdded(USBDeviceOSHandle handle);
  void onDeviceRemoved(USBDeviceOSHandle handle);
  bool armHotplug(libusb_context* context);
  void disarmHotplug();

  USBDeviceFilter m_filter;
  bool m_matchIds = false;
  ClassMatch m_classMatch = ClassMatch::None;
  // Every device of the class seen since initialisation, with whether it was
  // reported to `found`. Each entry holds one device-table reference.
  std::map<USBDeviceOSHandle, bool> m_services;
  // Changes with every deInit(), so that a loop of reports notices that a
  // callback tore the factory down and stops reporting.
  std::uint64_t m_generation = 0;

  libusb_context* m_context = nullptr;
  bool m_hotplugArmed = false;
  libusb_hotplug_callback_handle m_hotplug = 0;
  // Names this factory's queue of hot-plug events; see the .cpp.
  std::uintptr_t m_queueId = 0;
};

}  // namespace QV::QDV2::LINUX
