#include "USB/Linux/USBDeviceFactoryOSImpl.h"

#include <deque>
#include <mutex>
#include <vector>

#include <sys/time.h>

#include "QV/QDV2/HIDDevice.h"
#include "USB/Linux/DeviceTable.h"

namespace QV::QDV2 {

USBDeviceFactory::OSImpl* USBDeviceFactory::OSImpl::create(USBDeviceFactory& owner) {
  return new LINUX::USBDeviceFactoryOSImpl(owner);
}

}  // namespace QV::QDV2

namespace QV::QDV2::LINUX {

namespace {

constexpr const char* kClassUSBDevice = "IOUSBDevice";
constexpr const char* kClassHIDDevice = "IOHIDDevice";
constexpr const char* kClassKernelDriver = "de_tolva_driver_QVUSBAudioDevice";

constexpr std::uint8_t kInterfaceClassHID = 3;

// One hot-plug event waiting for handleEvents(). The queue holds a
// device-table reference on `handle`, so the handle still names the device
// when the event is delivered.
struct PendingEvent {
  bool arrived = false;
  USBDeviceOSHandle handle = 0;
};

// The queues of the armed factories, by queue id. libusb may still run a
// callback on another thread after it was deregistered, so the callback is
// given an id rather than the factory itself: a late event for a factory that
// is gone finds no queue and is dropped.
std::mutex s_queuesMutex;
std::map<std::uintptr_t, std::deque<PendingEvent>> s_queues;
std::uintptr_t s_lastQueueId = 0;

std::uintptr_t openQueue() {
  std::lock_guard lock(s_queuesMutex);
  const std::uintptr_t id = ++s_lastQueueId;
  s_queues[id];
  return id;
}

std::deque<PendingEvent> takeEvents(std::uintptr_t id, bool close) {
  std::lock_guard lock(s_queuesMutex);
  std::deque<PendingEvent> events;
  auto found = s_queues.find(id);
  if (found != s_queues.end()) {
    events.swap(found->second);
    if (close) {
      s_queues.erase(found);
    }
  }
  return events;
}

void releaseEvents(const std::deque<PendingEvent>& events) {
  for (const PendingEvent& event : events) {
    DeviceTable::instance().release(event.handle);
  }
}

int LIBUSB_CALL onHotplugEvent(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                               void* userData) {
  const auto id = reinterpret_cast<std::uintptr_t>(userData);
  std::lock_guard lock(s_queuesMutex);
  auto queue = s_queues.find(id);
  if (queue == s_queues.end()) {
    return 0;
  }
  DeviceTable& table = DeviceTable::instance();
  PendingEvent pending;
  pending.arrived = event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED;
  if (pending.arrived) {
    pending.handle = table.retain(device);
  } else {
    // A device that left matters only to those who hold its entry; one that
    // has none was never tracked.
    pending.handle = table.find(device);
    if (pending.handle == 0 || !table.retain(pending.handle)) {
      return 0;
    }
  }
  queue->second.push_back(pending);
  return 0;
}

bool hasInterfaceOfClass(libusb_device* device, std::uint8_t interfaceClass) {
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) {
    return false;
  }
  // libusb parses the descriptors the kernel read at enumeration; the device
  // is not opened.
  for (std::uint8_t index = 0; index < descriptor.bNumConfigurations; ++index) {
    libusb_config_descriptor* configuration = nullptr;
    if (libusb_get_config_descriptor(device, index, &configuration) != LIBUSB_SUCCESS) {
      continue;
    }
    bool found = false;
    for (int i = 0; i < configuration->bNumInterfaces && !found; ++i) {
      const libusb_interface& interface = configuration->interface[i];
      for (int a = 0; a < interface.num_altsetting && !found; ++a) {
        found = interface.altsetting[a].bInterfaceClass == interfaceClass;
      }
    }
    libusb_free_config_descriptor(configuration);
    if (found) {
      return true;
    }
  }
  return false;
}

}  // namespace

USBDeviceFactoryOSImpl::~USBDeviceFactoryOSImpl() { deInit(); }

bool USBDeviceFactoryOSImpl::initWithDeviceFilter(const USBDeviceFilter& filter, bool keepRunning) {
  deInit();
  if (filter.className.empty()) {
    return false;
  }
  // Held for the whole scan: until it holds entries, or a hotplug
  // registration, another thread's scan could otherwise end the context.
  const DeviceTable::ContextUse context = DeviceTable::instance().freshContext();
  if (context.get() == nullptr) {
    return false;
  }

  m_filter = filter;
  m_matchIds = filter.vendorId() != 0 || filter.productId() != 0;
  if (filter.className == kClassHIDDevice) {
    m_filter.type = eHID;
    m_classMatch = ClassMatch::HIDInterface;
  } else if (filter.className == kClassKernelDriver) {
    m_filter.type = eKernelDriver;
    m_classMatch = ClassMatch::None;
  } else if (filter.className == kClassUSBDevice) {
    m_classMatch = ClassMatch::AnyDevice;
  } else {
    m_classMatch = ClassMatch::None;
    m_matchIds = false;
  }

  // Armed before the list is read, so that a device arriving in between is
  // not missed; one that shows up in both is tracked once.
  if (keepRunning && !armHotplug(context.get())) {
    return false;
  }

  // A found callback may throw (a worker interrupted while it reads a
  // device): the references still go with the list.
  std::vector<DeviceReference> listed;
  for (USBDeviceOSHandle handle : DeviceTable::instance().enumerate()) {
    listed.push_back(DeviceReference::adopt(handle));
  }
  const std::uint64_t generation = m_generation;
  for (const DeviceReference& device : listed) {
    if (generation == m_generation) {
      onDeviceAdded(device.handle());
    }
  }
  return true;
}

void USBDeviceFactoryOSImpl::deInit() {
  ++m_generation;
  disarmHotplug();
  std::map<USBDeviceOSHandle, bool> services;
  services.swap(m_services);
  for (const auto& [handle, reported] : services) {
    DeviceTable::instance().release(handle);
  }
}

void USBDeviceFactoryOSImpl::handleEvents() {
  if (!m_hotplugArmed) {
    return;
  }
  // A zero time-out: libusb handles what is pending and returns.
  timeval zero{0, 0};
  libusb_handle_events_timeout_completed(m_context, &zero, nullptr);

  const std::deque<PendingEvent> events = takeEvents(m_queueId, false);
  const std::uint64_t generation = m_generation;
  for (const PendingEvent& event : events) {
    if (generation == m_generation) {
      if (event.arrived) {
        onDeviceAdded(event.handle);
      } else {
        onDeviceRemoved(event.handle);
      }
    }
    DeviceTable::instance().release(event.handle);
  }
}

bool USBDeviceFactoryOSImpl::isOfClass(USBDeviceOSHandle handle) const {
  switch (m_classMatch) {
    case ClassMatch::AnyDevice:
      return true;
    case ClassMatch::HIDInterface: {
      libusb_device* device = DeviceTable::instance().device(handle);
      return device != nullptr && hasInterfaceOfClass(device, kInterfaceClassHID);
    }
    case ClassMatch::None:
      break;
  }
  return false;
}

void USBDeviceFactoryOSImpl::onDeviceAdded(USBDeviceOSHandle handle) {
  if (m_services.count(handle) != 0 || !isOfClass(handle) ||
      !DeviceTable::instance().retain(handle)) {
    return;
  }
  bool& reported = m_services[handle];
  reported = false;
  if (m_matchIds) {
    USBDeviceInfo info;
    if (!USBDeviceFactory::getDeviceInfoForOSHandleWithFilter(handle, m_filter, info, false)) {
      return;
    }
    const std::uint16_t vendorId = m_filter.vendorId();
    const std::uint16_t productId = m_filter.productId();
    if ((vendorId != 0 && vendorId != info.vendorId) ||
        (productId != 0 && productId != info.productId)) {
      return;
    }
  }
  reported = true;
  reportFound(handle, m_filter);
}

void USBDeviceFactoryOSImpl::onDeviceRemoved(USBDeviceOSHandle handle) {
  auto found = m_services.find(handle);
  if (found != m_services.end()) {
    const bool reported = found->second;
    // Out of the map before the callback runs: a callback that tears the
    // factory down must not release this reference a second time.
    m_services.erase(found);
    if (reported) {
      reportRemoved(handle, m_filter);
    }
    DeviceTable::instance().release(handle);
  }
  HIDDevice::forgetDevice(handle);
}

bool USBDeviceFactoryOSImpl::armHotplug(libusb_context* context) {
  if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) {
    return false;
  }
  const std::uintptr_t queueId = openQueue();
  const int result = libusb_hotplug_register_callback(
      context,
      LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
      0, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
      &onHotplugEvent, reinterpret_cast<void*>(queueId), &m_hotplug);
  if (result != LIBUSB_SUCCESS) {
    takeEvents(queueId, true);
    return false;
  }
  DeviceTable::instance().hotplugRegistered();
  m_context = context;
  m_queueId = queueId;
  m_hotplugArmed = true;
  return true;
}

void USBDeviceFactoryOSImpl::disarmHotplug() {
  if (!m_hotplugArmed) {
    return;
  }
  libusb_hotplug_deregister_callback(m_context, m_hotplug);
  DeviceTable::instance().hotplugDeregistered();
  releaseEvents(takeEvents(m_queueId, true));
  m_hotplugArmed = false;
  m_hotplug = 0;
  m_queueId = 0;
  m_context = nullptr;
}

}  // namespace QV::QDV2::LINUX
