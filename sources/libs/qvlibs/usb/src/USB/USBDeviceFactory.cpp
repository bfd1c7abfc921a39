#include "QV/QDV2/USBDeviceFactory.h"

#include <utility>

#include "QV/QDV2/FX2Device.h"
#include "QV/QDV2/HIDDevice.h"
#include "QV/QDV2/USBDevice.h"
#include "USB/USBDeviceFactoryOSImpl.h"

namespace QV::QDV2 {

USBDeviceFactory::USBDeviceFactory() : m_osImpl(OSImpl::create(*this)) {}

// The platform part's destructor disarms it and releases the devices it holds.
USBDeviceFactory::~USBDeviceFactory() { delete m_osImpl; }

void USBDeviceFactory::setCallbacks(Callback found, Callback removed) {
  m_found = std::move(found);
  m_removed = std::move(removed);
}

bool USBDeviceFactory::initWithDeviceFilter(const USBDeviceFilter& filter, bool keepRunning) {
  if (filter.className.empty()) {
    return false;
  }
  if (m_initialised) {
    m_initialised = false;
    m_osImpl->deInit();
  }
  m_initialised = m_osImpl->initWithDeviceFilter(filter, keepRunning);
  if (!keepRunning) {
    m_osImpl->deInit();
  }
  return m_initialised;
}

void USBDeviceFactory::deInit() {
  m_initialised = false;
  m_osImpl->deInit();
}

void USBDeviceFactory::handleEvents() { m_osImpl->handleEvents(); }

bool USBDeviceFactory::getDeviceInfoForOSHandleWithFilter(const USBDeviceOSHandle& handle,
                                                          const USBDeviceFilter& filter,
                                                          USBDeviceInfo& info, bool withStrings,
                                                          const USBDevice::Wait& wait) {
  switch (filter.type) {
    case eUSB:
    case eDeviceInterface:
      return USBDevice::getDeviceInfoForOSHandle(handle, info, withStrings, wait);
    case eKernelDriver:
      return FX2Device::getDeviceInfoForOSHandle(handle, info, withStrings);
    case eHID:
      return HIDDevice::getDeviceInfoForOSHandle(handle, info, withStrings);
  }
  return false;
}

void USBDeviceFactory::OSImpl::reportFound(USBDeviceOSHandle handle,
                                           const USBDeviceFilter& filter) const {
  // A copy, so that a callback which replaces the callbacks does not destroy
  // the function object while it runs.
  const Callback found = m_owner.m_found;
  if (found) {
    found(handle, filter);
  }
}

void USBDeviceFactory::OSImpl::reportRemoved(USBDeviceOSHandle handle,
                                             const USBDeviceFilter& filter) const {
  const Callback removed = m_owner.m_removed;
  if (removed) {
    removed(handle, filter);
  }
}

}  // namespace QV::QDV2
