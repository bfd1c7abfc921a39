// One appearance of a keyboard on the bus: its usbfs device node and the
// umockdev ioctl handler that answers the usbfs requests libusb sends to it.
// A keyboard that re-enumerates gets a new DeviceNode (a new address and
// node); the old one stays attached and answers ENODEV, as the kernel answers
// a program that still holds the node of a departed device open.
//
// Thread affinity: the ioctl handler runs on umockdev's worker thread; every
// entry point takes the owner's lock, and leave() expects it held.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include <glib-object.h>

#include "SimulatedKeyboard.h"
#include "SysfsRecord.h"

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace simkbd {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

class DeviceNode {
 public:
  // What a node needs from the host: the keyboard's answers and a way to
  // finish an ioctl later. Called on umockdev's worker thread with mutex() held.
  class Owner {
   public:
    virtual std::mutex& mutex() = 0;
    virtual ControlResult control(int keyboardId, const Setup& setup, std::span<std::uint8_t> data) = 0;
    // False when the keyboard is not on the bus.
    virtual bool reset(int keyboardId) = 0;
    // The program that sent a control request the keyboard left unanswered
    // cancelled it.
    virtual void cancelled(int keyboardId) = 0;

   protected:
    ~Owner() = default;
  };

  DeviceNode(Owner& owner, int keyboardId, SysfsRecord record);
  ~DeviceNode();
  DeviceNode(const DeviceNode&) = delete;
  DeviceNode& operator=(const DeviceNode&) = delete;

  int keyboardId() const { return m_keyboardId; }
  const SysfsRecord& record() const { return m_record; }
  UMockdevIoctlBase* handler() const { return m_handler.get(); }

  // On the bus, as far as usbfs is concerned. Owner's lock held.
  bool present() const { return m_present; }
  // The device left the bus: URBs still pending complete with -ENODEV and
  // every later request but reaping fails with ENODEV. Owner's lock held.
  // The number of control URBs it ended so.
  unsigned leave();

 private:
  struct Client {
    // Held so that the client's address is not reused while its state is
    // kept: umockdev may free a client without saying it vanished, and a new
    // client at the same address must not inherit its completed URBs.
    GObjectPtr<UMockdevIoctlClient> self;
    std::deque<GObjectPtr<UMockdevIoctlData>> completed;  // waiting to be reaped, in order
    std::vector<GObjectPtr<UMockdevIoctlData>> pending;   // URBs not answered, in no order
  };

  static gboolean onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
  static void onClientVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);

  // Each returns the errno the ioctl fails with, 0 for success.
  int submitUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  int reapUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  int discardUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  int claimInterface(UMockdevIoctlClient* client, UMockdevIoctlData* arg, bool claim);
  int setInterface(UMockdevIoctlData* arg);
  int setConfiguration(UMockdevIoctlData* arg);
  int getCapabilities(UMockdevIoctlData* arg);
  int controlUrb(Client& client, GObjectPtr<UMockdevIoctlData> urb);
  // The state kept for `client`, made on its first request.
  Client& stateOf(UMockdevIoctlClient* client);

  Owner& m_owner;
  const int m_keyboardId;
  const SysfsRecord m_record;
  GObjectPtr<UMockdevIoctlBase> m_handler;
  bool m_present = true;
  std::map<UMockdevIoctlClient*, Client> m_clients;
  // Interface number -> holder. A claim holds a reference on its client:
  // umockdev 0.17.16 frees the client of a program that exits without
  // emitting client-vanished, and a claim must be checked against it then.
  std::map<unsigned, GObjectPtr<UMockdevIoctlClient>> m_claims;
};

}  // namespace simkbd
