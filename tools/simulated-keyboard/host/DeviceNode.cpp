#include "DeviceNode.h"

#include <sys/ioctl.h>

#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include <umockdev.h>

namespace simkbd {
namespace {

constexpr std::size_t kSetupLength = 8;
constexpr int kMaxControlBuffer = static_cast<int>(kSetupLength) + 0xFFFF;
// Linux's usbfs carries at most a page of data in one control transfer and
// refuses a larger one with EINVAL before anything reaches the device.
constexpr std::uint16_t kMaxControlData = 4096;

// What this node implements of usbfs; libusb adapts to the set.
constexpr std::uint32_t kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                        USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

// Resolves `length` bytes the pointer at `offset` of `data` points to in the
// client; nothing when the client's memory cannot be read.
GObjectPtr<UMockdevIoctlData> resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
  GError* error = nullptr;
  GObjectPtr<UMockdevIoctlData> resolved(umockdev_ioctl_data_resolve(data, offset, length, &error));
  g_clear_error(&error);
  if (resolved && static_cast<std::size_t>(resolved->data_len) < length) resolved.reset();
  return resolved;
}

// The ioctl argument is a pointer to a 32-bit number.
bool readNumber(UMockdevIoctlData* arg, std::uint32_t& value) {
  GObjectPtr<UMockdevIoctlData> data = resolve(arg, 0, sizeof value);
  if (!data) return false;
  std::memcpy(&value, data->data, sizeof value);
  return true;
}

usbdevfs_urb readUrb(const UMockdevIoctlData* urb) {
  usbdevfs_urb header;
  std::memcpy(&header, urb->data, sizeof header);
  return header;
}

// A URB finishes as the kernel finishes it: a status (0 or a negative errno)
// and the number of data bytes transferred.
void finishUrb(UMockdevIoctlData* urb, int status, int actualLength) {
  std::memcpy(urb->data + offsetof(usbdevfs_urb, status), &status, sizeof status);
  std::memcpy(urb->data + offsetof(usbdevfs_urb, actual_length), &actualLength, sizeof actualLength);
}

bool isControlUrb(const UMockdevIoctlData* urb) { return readUrb(urb).type == USBDEVFS_URB_TYPE_CONTROL; }

}  // namespace

DeviceNode::DeviceNode(Owner& owner, int keyboardId, SysfsRecord record)
    : m_owner(owner),
      m_keyboardId(keyboardId),
      m_record(std::move(record)),
      m_handler(UMOCKDEV_IOCTL_BASE(g_object_new(UMOCKDEV_TYPE_IOCTL_BASE, nullptr))) {
  g_signal_connect(m_handler.get(), "handle-ioctl", G_CALLBACK(onIoctl), this);
  g_signal_connect(m_handler.get(), "client-vanished", G_CALLBACK(onClientVanished), this);
}

DeviceNode::~DeviceNode() { g_signal_handlers_disconnect_by_data(m_handler.get(), this); }

unsigned DeviceNode::leave() {
  m_present = false;
  unsigned ended = 0;
  for (auto& [client, state] : m_clients) {
    for (auto& urb : state.pending) {
      ended += isControlUrb(urb.get()) ? 1 : 0;
      finishUrb(urb.get(), -ENODEV, 0);
      state.completed.push_back(std::move(urb));
    }
    state.pending.clear();
  }
  m_claims.clear();
  return ended;
}

gboolean DeviceNode::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  auto* self = static_cast<DeviceNode*>(data);
  std::lock_guard lock(self->m_owner.mutex());
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  long result = 0;
  int error = 0;
  // Completed URBs can be reaped after the device left, as the kernel allows;
  // everything else then fails with ENODEV.
  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    error = self->reapUrb(client, arg);
  } else if (!self->m_present) {
    error = ENODEV;
  } else {
    switch (request) {
      case USBDEVFS_SUBMITURB:
        error = self->submitUrb(client, arg);
        break;
      case USBDEVFS_DISCARDURB:
        error = self->discardUrb(client, arg);
        break;
      case USBDEVFS_CLAIMINTERFACE:
        error = self->claimInterface(client, arg, true);
        break;
      case USBDEVFS_RELEASEINTERFACE:
        error = self->claimInterface(client, arg, false);
        break;
      case USBDEVFS_SETINTERFACE:
        error = self->setInterface(arg);
        break;
      case USBDEVFS_SETCONFIGURATION:
        error = self->setConfiguration(arg);
        break;
      case USBDEVFS_GET_CAPABILITIES:
        error = self->getCapabilities(arg);
        break;
      case USBDEVFS_GET_SPEED:
        result = USB_SPEED_FULL;
        break;
      case USBDEVFS_RESET:
        error = self->m_owner.reset(self->m_keyboardId) ? 0 : ENODEV;
        break;
      case USBDEVFS_GETDRIVER:
      case USBDEVFS_IOCTL:
        // No kernel driver is bound to any interface of the keyboard.
        error = ENODATA;
        break;
      default:
        error = ENOTTY;
        break;
    }
  }
  umockdev_ioctl_client_complete(client, error ? -1 : result, error);
  return TRUE;
}

void DeviceNode::onClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  auto* self = static_cast<DeviceNode*>(data);
  std::lock_guard lock(self->m_owner.mutex());
  std::erase_if(self->m_claims, [client](const auto& claim) { return claim.second.get() == client; });
  self->m_clients.erase(client);
}

DeviceNode::Client& DeviceNode::stateOf(UMockdevIoctlClient* client) {
  Client& state = m_clients[client];
  if (!state.self) state.self.reset(static_cast<UMockdevIoctlClient*>(g_object_ref(client)));
  return state;
}

int DeviceNode::submitUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  GObjectPtr<UMockdevIoctlData> urb = resolve(arg, 0, sizeof(usbdevfs_urb));
  if (!urb) return EFAULT;
  const usbdevfs_urb header = readUrb(urb.get());
  Client& state = stateOf(client);
  switch (header.type) {
    case USBDEVFS_URB_TYPE_CONTROL:
      return controlUrb(state, std::move(urb));
    case USBDEVFS_URB_TYPE_INTERRUPT:
    case USBDEVFS_URB_TYPE_BULK:
      // Nothing the keyboard sends on its other endpoints matters to an
      // updater: like an idle key-report endpoint, these URBs stay pending
      // until the client discards them or the device leaves.
      state.pending.push_back(std::move(urb));
      return 0;
    default:
      return EINVAL;
  }
}

int DeviceNode::controlUrb(Client& state, GObjectPtr<UMockdevIoctlData> urb) {
  const usbdevfs_urb header = readUrb(urb.get());
  if ((header.endpoint & 0x7F) != 0) return EINVAL;  // endpoint 0 is the only control endpoint
  if (header.buffer_length < static_cast<int>(kSetupLength) || header.buffer_length > kMaxControlBuffer) {
    return EINVAL;
  }
  GObjectPtr<UMockdevIoctlData> buffer =
      resolve(urb.get(), offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(header.buffer_length));
  if (!buffer) return EFAULT;
  const std::uint8_t* bytes = buffer->data;
  Setup setup;
  setup.bmRequestType = bytes[0];
  setup.bRequest = bytes[1];
  setup.wValue = static_cast<std::uint16_t>(bytes[2] | (bytes[3] << 8));
  setup.wIndex = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
  setup.wLength = static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8));
  if (setup.wLength > header.buffer_length - kSetupLength || setup.wLength > kMaxControlData) return EINVAL;

  const ControlResult result =
      m_owner.control(m_keyboardId, setup, std::span<std::uint8_t>(buffer->data + kSetupLength, setup.wLength));
  switch (result.kind) {
    case ControlResult::Ok:
      finishUrb(urb.get(), 0, static_cast<int>(std::min<std::size_t>(result.length, setup.wLength)));
      break;
    case ControlResult::Stall:
      finishUrb(urb.get(), -EPIPE, 0);
      break;
    case ControlResult::Gone:
      finishUrb(urb.get(), -ENODEV, 0);
      break;
    case ControlResult::Unanswered:
      // Pending as long as the client does not discard it and the device
      // stays on the bus.
      state.pending.push_back(std::move(urb));
      return 0;
  }
  state.completed.push_back(std::move(urb));
  return 0;
}

int DeviceNode::reapUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  // libusb learns of completions by polling the node for POLLOUT, but the
  // node umockdev hands out is a socket, which always polls writable: an event
  // loop with the node open keeps reaping. Holding the answer back to slow it
  // down would be worse, since libusb reaps with its list of open devices
  // locked, and opening or closing a device would wait on that lock. So even
  // the blocking reap answers at once.
  Client& state = stateOf(client);
  if (state.completed.empty()) return m_present ? EAGAIN : ENODEV;
  GObjectPtr<UMockdevIoctlData> target = resolve(arg, 0, sizeof(void*));
  if (!target) return EFAULT;
  // set_ptr writes the URB's address into the client's pointer and carries
  // the URB's status, length and data back with this ioctl's completion.
  if (!umockdev_ioctl_data_set_ptr(target.get(), 0, state.completed.front().get())) return EFAULT;
  state.completed.pop_front();
  return 0;
}

int DeviceNode::discardUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  // The argument is the URB's address itself.
  gulong address = 0;
  if (static_cast<std::size_t>(arg->data_len) < sizeof address) return EINVAL;
  std::memcpy(&address, arg->data, sizeof address);
  Client& state = stateOf(client);
  auto it = std::find_if(state.pending.begin(), state.pending.end(),
                         [address](const auto& urb) { return urb->client_addr == address; });
  // A URB that already completed cannot be discarded; libusb expects EINVAL.
  if (it == state.pending.end()) return EINVAL;
  if (isControlUrb(it->get())) m_owner.cancelled(m_keyboardId);
  finishUrb(it->get(), -ENOENT, 0);
  state.completed.push_back(std::move(*it));
  state.pending.erase(it);
  return 0;
}

int DeviceNode::claimInterface(UMockdevIoctlClient* client, UMockdevIoctlData* arg, bool claim) {
  std::uint32_t number = 0;
  if (!readNumber(arg, number)) return EFAULT;
  if (!m_record.hasInterface(number)) return claim ? ENOENT : EINVAL;
  auto holder = m_claims.find(number);
  if (claim) {
    // The kernel releases a program's claims when it closes the node; a
    // holder that has gone is treated the same way.
    if (holder != m_claims.end() && holder->second.get() != client &&
        umockdev_ioctl_client_get_connected(holder->second.get())) {
      return EBUSY;
    }
    m_claims[number].reset(static_cast<UMockdevIoctlClient*>(g_object_ref(client)));
    return 0;
  }
  if (holder == m_claims.end() || holder->second.get() != client) return EINVAL;
  m_claims.erase(holder);
  return 0;
}

int DeviceNode::setInterface(UMockdevIoctlData* arg) {
  GObjectPtr<UMockdevIoctlData> data = resolve(arg, 0, sizeof(usbdevfs_setinterface));
  if (!data) return EFAULT;
  usbdevfs_setinterface request;
  std::memcpy(&request, data->data, sizeof request);
  if (!m_record.hasAlternateSetting(request.interface, request.altsetting)) return EINVAL;
  return 0;
}

int DeviceNode::setConfiguration(UMockdevIoctlData* arg) {
  std::uint32_t value = 0;
  if (!readNumber(arg, value)) return EFAULT;
  // -1 and 0 leave the device unconfigured; any other value must name the
  // keyboard's one configuration.
  if (value != 0xFFFFFFFFu && value != 0 && value != m_record.configurationValue()) return EINVAL;
  return 0;
}

int DeviceNode::getCapabilities(UMockdevIoctlData* arg) {
  GObjectPtr<UMockdevIoctlData> data = resolve(arg, 0, sizeof kCapabilities);
  if (!data) return EFAULT;
  std::memcpy(data->data, &kCapabilities, sizeof kCapabilities);
  return 0;
}

}  // namespace simkbd
