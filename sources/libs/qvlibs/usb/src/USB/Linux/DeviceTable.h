#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include <libusb.h>

#include "QV/QDV2/USBDeviceOSHandle.h"

namespace QV::QDV2::LINUX {

// The process's one libusb context and the table of retained libusb devices
// that USBDeviceOSHandles name.
//
// An entry holds one libusb reference on its device and counts the references
// taken on it: discovery holds one while it tracks a device, a connected
// USBDevice holds one while it is connected. The entry, and its libusb
// reference, go with the last release. Handles come from a 32-bit counter that
// skips 0 and handles still in use, so a handle is not given to another device
// before the counter wraps; caches keyed by handle (the HID information) rely
// on that.
//
// Thread: any. Every member takes the table's lock; none calls out while
// holding it, except into libusb for reference counting, the device list and
// the context's creation and end.
class DeviceTable {
 public:
  // One use of the context by a caller that holds no entry yet: while any
  // lives, the context is not renewed. Move-only.
  class ContextUse {
   public:
    ContextUse() = default;
    ~ContextUse() { reset(); }
    ContextUse(ContextUse&& other) noexcept;
    ContextUse& operator=(ContextUse&& other) noexcept;
    ContextUse(const ContextUse&) = delete;
    ContextUse& operator=(const ContextUse&) = delete;

    // The context used; null when libusb is unavailable.
    libusb_context* get() const { return m_context; }
    // Ends the use now.
    void reset();

   private:
    friend class DeviceTable;
    explicit ContextUse(libusb_context* context) : m_context(context) {}
    libusb_context* m_context = nullptr;
  };

  // The table of the process, built on first use and never destroyed, so that
  // devices still held by static objects stay valid until the process ends.
  static DeviceTable& instance();

  DeviceTable(const DeviceTable&) = delete;
  DeviceTable& operator=(const DeviceTable&) = delete;

  // The process's libusb context, created on first use with libusb's own
  // logging switched off. Null when libusb cannot be initialised; a later call
  // tries again.
  //
  // On Linux libusb follows devices through udev events that its own thread
  // reads, and it starts listening when the first context is created; under
  // umockdev the test bed must therefore exist before the first call.
  libusb_context* context();
  // Whether context() has created the context yet; it does not create it.
  bool hasContext() const;

  // Enters `device` (or finds its entry) and takes one reference on the entry.
  // The handle naming it; 0 when `device` is null.
  USBDeviceOSHandle retain(libusb_device* device);
  // Takes one more reference on the entry `handle` names; false when it names
  // none.
  bool retain(USBDeviceOSHandle handle);
  // Drops one reference taken by retain() or enumerate(). A handle that names
  // no entry is ignored.
  void release(USBDeviceOSHandle handle);

  // The handle of `device` when it has an entry, 0 otherwise. Takes no
  // reference.
  USBDeviceOSHandle find(libusb_device* device) const;
  // The device `handle` names, null when none. The pointer is only valid while
  // the caller holds a reference on the entry; see DeviceReference.
  libusb_device* device(USBDeviceOSHandle handle) const;

  // Every device libusb currently lists, each as a handle with one reference
  // that the caller releases. Empty when libusb is unavailable or lists
  // nothing. A device that arrived a moment ago may be missing: libusb learns
  // of it from its udev thread.
  std::vector<USBDeviceOSHandle> enumerate();

  // A use of the context as context() gives it, created afresh when nothing
  // holds the current one (no entry, no hotplug registration, no other use).
  // libusb reads the bus once, when a context is created, and afterwards
  // keeps its list from udev events alone: an event that never reached the
  // process (a full socket buffer; under umockdev, a child process that
  // closed the descriptors it inherited) would leave a device out of every
  // later list and every later hotplug report. Discovery starts from here,
  // and holds the use until it holds entries or a hotplug registration of
  // its own: another thread's discovery must not end the context under it.
  ContextUse freshContext();

  // A hotplug registration keeps the context; each call of the first is
  // matched by one of the second.
  void hotplugRegistered();
  void hotplugDeregistered();

  // Number of entries held; for tests.
  std::size_t size() const;
  // Number of context uses alive; for tests.
  std::size_t contextUses() const;

 private:
  DeviceTable() = default;
  ~DeviceTable() = default;

  struct Entry {
    libusb_device* device = nullptr;
    std::uint32_t references = 0;
  };

  USBDeviceOSHandle retainLocked(libusb_device* device);
  USBDeviceOSHandle nextHandleLocked();
  libusb_context* contextLocked();
  // A use of the context, creating it when there is none; empty when libusb
  // is unavailable. Its end takes the lock: it must not end while held.
  ContextUse useLocked();
  void endUse();

  mutable std::mutex m_mutex;
  libusb_context* m_context = nullptr;
  unsigned m_hotplugRegistrations = 0;
  unsigned m_uses = 0;
  std::map<USBDeviceOSHandle, Entry> m_entries;
  std::map<libusb_device*, USBDeviceOSHandle> m_handles;
  USBDeviceOSHandle m_lastHandle = 0;
};

// One reference on a table entry, dropped when the object goes. Move-only.
class DeviceReference {
 public:
  DeviceReference() = default;
  // Takes a reference on the entry `handle` names; empty when it names none.
  explicit DeviceReference(USBDeviceOSHandle handle);
  // Takes over a reference the caller already holds, as enumerate() returns.
  static DeviceReference adopt(USBDeviceOSHandle handle);

  ~DeviceReference() { reset(); }
  DeviceReference(DeviceReference&& other) noexcept;
  DeviceReference& operator=(DeviceReference&& other) noexcept;
  DeviceReference(const DeviceReference&) = delete;
  DeviceReference& operator=(const DeviceReference&) = delete;

  explicit operator bool() const { return m_handle != 0; }
  USBDeviceOSHandle handle() const { return m_handle; }
  // The libusb device, valid while this reference lives; null when empty.
  libusb_device* device() const { return m_device; }

  // Drops the reference now.
  void reset();

 private:
  USBDeviceOSHandle m_handle = 0;
  libusb_device* m_device = nullptr;
};

}  // namespace QV::QDV2::LINUX
