#include "USB/Linux/DeviceTable.h"

#include <utility>

namespace QV::QDV2::LINUX {

DeviceTable& DeviceTable::instance() {
  // Deliberately never destroyed: USBDevice objects with static storage may
  // release their entries after ordinary static destructors have run.
  static DeviceTable* const table = new DeviceTable;
  return *table;
}

libusb_context* DeviceTable::context() {
  std::lock_guard lock(m_mutex);
  return contextLocked();
}

libusb_context* DeviceTable::contextLocked() {
  if (m_context == nullptr) {
    // Setting the level on the default options first keeps libusb quiet
    // during its own initialisation as well.
    libusb_set_option(nullptr, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_NONE);
    libusb_context* context = nullptr;
    if (libusb_init(&context) != LIBUSB_SUCCESS) {
      return nullptr;
    }
    libusb_set_option(context, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_NONE);
    m_context = context;
  }
  return m_context;
}

bool DeviceTable::hasContext() const {
  std::lock_guard lock(m_mutex);
  return m_context != nullptr;
}

USBDeviceOSHandle DeviceTable::nextHandleLocked() {
  do {
    ++m_lastHandle;
  } while (m_lastHandle == 0 || m_entries.count(m_lastHandle) != 0);
  return m_lastHandle;
}

USBDeviceOSHandle DeviceTable::retainLocked(libusb_device* device) {
  if (device == nullptr) {
    return 0;
  }
  if (auto found = m_handles.find(device); found != m_handles.end()) {
    ++m_entries[found->second].references;
    return found->second;
  }
  const USBDeviceOSHandle handle = nextHandleLocked();
  m_entries.emplace(handle, Entry{libusb_ref_device(device), 1});
  m_handles.emplace(device, handle);
  return handle;
}

USBDeviceOSHandle DeviceTable::retain(libusb_device* device) {
  std::lock_guard lock(m_mutex);
  return retainLocked(device);
}

bool DeviceTable::retain(USBDeviceOSHandle handle) {
  std::lock_guard lock(m_mutex);
  auto found = m_entries.find(handle);
  if (found == m_entries.end()) {
    return false;
  }
  ++found->second.references;
  return true;
}

void DeviceTable::release(USBDeviceOSHandle handle) {
  libusb_device* unreferenced = nullptr;
  {
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(handle);
    if (found == m_entries.end()) {
      return;
    }
    if (--found->second.references != 0) {
      return;
    }
    unreferenced = found->second.device;
    m_handles.erase(unreferenced);
    m_entries.erase(found);
  }
  // Outside the lock: the last libusb reference frees the device, which may
  // take libusb's own locks.
  libusb_unref_device(unreferenced);
}

USBDeviceOSHandle DeviceTable::find(libusb_device* device) const {
  std::lock_guard lock(m_mutex);
  auto found = m_handles.find(device);
  return found == m_handles.end() ? 0 : found->second;
}

libusb_device* DeviceTable::device(USBDeviceOSHandle handle) const {
  std::lock_guard lock(m_mutex);
  auto found = m_entries.find(handle);
  return found == m_entries.end() ? nullptr : found->second.device;
}

void DeviceTable::hotplugRegistered() {
  std::lock_guard lock(m_mutex);
  ++m_hotplugRegistrations;
}

void DeviceTable::hotplugDeregistered() {
  std::lock_guard lock(m_mutex);
  if (m_hotplugRegistrations > 0) {
    --m_hotplugRegistrations;
  }
}

DeviceTable::ContextUse DeviceTable::freshContext() {
  std::lock_guard lock(m_mutex);
  // The old context ends and the new one starts under the lock, so that no
  // other thread is handed either in between. Ending it stops libusb's own
  // event thread, which never waits for this table.
  if (m_context != nullptr && m_entries.empty() && m_hotplugRegistrations == 0 && m_uses == 0) {
    libusb_exit(std::exchange(m_context, nullptr));
  }
  return useLocked();
}

DeviceTable::ContextUse DeviceTable::useLocked() {
  libusb_context* context = contextLocked();
  if (context != nullptr) {
    ++m_uses;
  }
  return ContextUse(context);
}

void DeviceTable::endUse() {
  std::lock_guard lock(m_mutex);
  if (m_uses > 0) {
    --m_uses;
  }
}

DeviceTable::ContextUse::ContextUse(ContextUse&& other) noexcept
    : m_context(std::exchange(other.m_context, nullptr)) {}

DeviceTable::ContextUse& DeviceTable::ContextUse::operator=(ContextUse&& other) noexcept {
  if (this != &other) {
    reset();
    m_context = std::exchange(other.m_context, nullptr);
  }
  return *this;
}

void DeviceTable::ContextUse::reset() {
  if (m_context != nullptr) {
    DeviceTable::instance().endUse();
  }
  m_context = nullptr;
}

std::vector<USBDeviceOSHandle> DeviceTable::enumerate() {
  std::vector<USBDeviceOSHandle> handles;
  // The list is read outside the lock, on a context that must last as long.
  ContextUse use;
  {
    std::lock_guard lock(m_mutex);
    use = useLocked();
  }
  if (use.get() == nullptr) {
    return handles;
  }
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(use.get(), &list);
  if (count < 0) {
    return handles;
  }
  {
    std::lock_guard lock(m_mutex);
    handles.reserve(std::size_t(count));
    for (ssize_t i = 0; i < count; ++i) {
      handles.push_back(retainLocked(list[i]));
    }
  }
  // The entries hold their own references now; the list's go with it.
  libusb_free_device_list(list, 1);
  return handles;
}

std::size_t DeviceTable::size() const {
  std::lock_guard lock(m_mutex);
  return m_entries.size();
}

std::size_t DeviceTable::contextUses() const {
  std::lock_guard lock(m_mutex);
  return m_uses;
}

DeviceReference::DeviceReference(USBDeviceOSHandle handle) {
  if (DeviceTable::instance().retain(handle)) {
    m_handle = handle;
    m_device = DeviceTable::instance().device(handle);
  }
}

DeviceReference DeviceReference::adopt(USBDeviceOSHandle handle) {
  DeviceReference reference;
  reference.m_device = DeviceTable::instance().device(handle);
  if (reference.m_device != nullptr) {
    reference.m_handle = handle;
  }
  return reference;
}

DeviceReference::DeviceReference(DeviceReference&& other) noexcept
    : m_handle(std::exchange(other.m_handle, 0)), m_device(std::exchange(other.m_device, nullptr)) {}

DeviceReference& DeviceReference::operator=(DeviceReference&& other) noexcept {
  if (this != &other) {
    reset();
    m_handle = std::exchange(other.m_handle, 0);
    m_device = std::exchange(other.m_device, nullptr);
  }
  return *this;
}

void DeviceReference::reset() {
  if (m_handle != 0) {
    DeviceTable::instance().release(m_handle);
  }
  m_handle = 0;
  m_device = nullptr;
}

}  // namespace QV::QDV2::LINUX
