#include "QV/QDV2/USBDevice.h"

#include <algorithm>
#include <memory>

#include "QV/QDV2/USBDeviceOSImpl.h"

namespace QV::QDV2 {

USBDevice::USBDevice() : m_osImpl(createOSImpl()) {}

USBDevice::USBDevice(OSImpl* impl) : m_osImpl(impl) {}

// The platform part releases whatever it still holds when it is destroyed, so
// the destructor does not go through disconnect().
USBDevice::~USBDevice() { destroyOSImpl(m_osImpl); }

namespace {

// Hands `wait` to the platform part for the request or batch in progress; the
// device's lock is held throughout.
class WaitScope {
 public:
  WaitScope(USBDevice::OSImpl& impl, const USBDevice::Wait& wait) : m_impl(impl), m_outer(impl.setWait(&wait)) {}
  ~WaitScope() { m_impl.setWait(m_outer); }
  WaitScope(const WaitScope&) = delete;
  WaitScope& operator=(const WaitScope&) = delete;

 private:
  USBDevice::OSImpl& m_impl;
  const USBDevice::Wait* m_outer;
};

// `wait`, ending within the time a device may take to answer from now.
USBDevice::Wait bounded(const USBDevice::Wait& wait) {
  USBDevice::Wait limited = wait;
  limited.deadline = std::min(wait.deadline, std::chrono::steady_clock::now() + USBDevice::kRequestTimeout);
  return limited;
}

}  // namespace

bool USBDevice::connect(const USBDeviceOSHandle& handle) { return connect(handle, Wait{}); }

bool USBDevice::connect(const USBDeviceOSHandle& handle, const Wait& wait) {
  std::lock_guard lock(m_osImpl->mutex());
  const Wait limited = bounded(wait);
  const WaitScope scope(*m_osImpl, limited);
  m_connected = m_osImpl->connect(handle);
  if (!m_connected) {
    // The platform part let the previous device go; a handle kept here would
    // name a device this object no longer holds.
    m_handle = 0;
    return false;
  }
  m_handle = handle;
  try {
    // A device whose identity cannot be read may be any, its serial number
    // included: it must not pass for a connected one with the info of
    // another, or with an empty serial number.
    USBDeviceInfo info;
    if (!m_osImpl->getDeviceInfo(info)) {
      m_handle = 0;
      m_connected = false;
      m_osImpl->disconnect();
      return false;
    }
    m_info = std::move(info);
    m_osImpl->readLocation(handle, m_location);
    postConnect();
  } catch (...) {
    // Half read, the device must not pass for a connected one.
    m_handle = 0;
    m_connected = false;
    m_osImpl->disconnect();
    throw;
  }
  return m_connected;
}

void USBDevice::disconnect() {
  std::lock_guard lock(m_osImpl->mutex());
  m_handle = 0;
  m_connected = false;
  m_osImpl->disconnect();
}

// Without a wait of its own, a request keeps the one of the call in progress
// (a connection's, should postConnect() send it), taken under the lock.
USBDevice::Status USBDevice::controlTransfer(Request& request) {
  std::lock_guard lock(m_osImpl->mutex());
  return controlTransfer(request, m_osImpl->wait());
}

USBDevice::Status USBDevice::controlTransfer(Request& request, const Wait& wait) {
  std::lock_guard lock(m_osImpl->mutex());
  const Wait limited = bounded(wait);
  const WaitScope scope(*m_osImpl, limited);
  return m_osImpl->controlTransfer(request);
}

void USBDevice::controlTransfers(std::span<Request> requests, std::span<Status> statuses) {
  std::lock_guard lock(m_osImpl->mutex());
  controlTransfers(requests, statuses, m_osImpl->wait());
}

void USBDevice::controlTransfers(std::span<Request> requests, std::span<Status> statuses, const Wait& wait) {
  const std::size_t count = std::min(requests.size(), statuses.size());
  std::lock_guard lock(m_osImpl->mutex());
  const Wait limited = bounded(wait);
  const WaitScope scope(*m_osImpl, limited);
  m_osImpl->controlTransfers(requests.first(count), statuses.first(count));
}

const std::uint8_t* USBDevice::getConfigurationDescriptor(std::uint32_t& size) {
  std::lock_guard lock(m_osImpl->mutex());
  return m_osImpl->getConfigurationDescriptor(size);
}

// A property of the platform, not of the connection: no lock is needed.
std::uint32_t USBDevice::maxControlTransferLength() const { return m_osImpl->maxControlTransferLength(); }

bool USBDevice::postConnect() { return true; }

bool USBDevice::getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                         bool withStrings) {
  return getDeviceInfoForOSHandle(handle, info, withStrings, Wait{});
}

bool USBDevice::getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                         bool withStrings, const Wait& wait) {
  const Wait limited = bounded(wait);
  // A platform part of its own: the read neither needs nor takes any device's
  // lock.
  std::unique_ptr<OSImpl, void (*)(OSImpl*)> impl(createOSImpl(), &destroyOSImpl);
  if (!impl) {
    return false;
  }
  impl->setWait(&limited);
  return impl->readDeviceInfo(handle, info, withStrings);
}

bool USBDevice::getLocationForOSHandle(const USBDeviceOSHandle& handle,
                                       USBDeviceLocation& location) {
  std::unique_ptr<OSImpl, void (*)(OSImpl*)> impl(createOSImpl(), &destroyOSImpl);
  if (!impl) {
    location = USBDeviceLocation{};
    return false;
  }
  return impl->readLocation(handle, location);
}

bool USBDevice::OSImpl::readDeviceInfo(USBDeviceOSHandle handle, USBDeviceInfo& info,
                                       bool withStrings) {
  if (!connect(handle)) {
    return false;
  }
  const bool result = getDeviceInfo(info, withStrings);
  disconnect();
  return result;
}

void USBDevice::OSImpl::controlTransfers(std::span<Request> requests, std::span<Status> statuses) {
  for (std::size_t i = 0; i < requests.size(); ++i) {
    statuses[i] = controlTransfer(requests[i]);
  }
}

void USBDevice::destroyOSImpl(OSImpl* impl) { delete impl; }

}  // namespace QV::QDV2
