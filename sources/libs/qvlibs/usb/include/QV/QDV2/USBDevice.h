#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

#include "QV/QDV2/USBDeviceInfo.h"
#include "QV/QDV2/USBDeviceLocation.h"
#include "QV/QDV2/USBDeviceOSHandle.h"

namespace QV::QDV2 {

// One opened USB device: identity, strings and control transfers on the
// default pipe. Every operation on the connection holds the device's recursive
// lock for its whole duration, so a device may be used from the main thread
// and from the update worker, one operation at a time.
class USBDevice {
 public:
  // IOKit-style status word of an operation; 0 is success.
  using Status = std::uint32_t;
  static constexpr Status kStatusSuccess = 0;
  static constexpr Status kStatusNotConnected = 0x0BADBABE;

  // One control request. `bytesTransferred` is written on success only.
  struct Request {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
    void* data = nullptr;
    std::uint32_t bytesTransferred = 0;
  };

  // What may end a wait for requests in flight before the device has
  // answered them all. `interruptionPoint` is called between short waits and
  // may throw to stop waiting: the requests are then cancelled, and the
  // exception goes on once they have ended, or once they were given a bounded
  // time to. Past `deadline` the requests fail with a time-out, and a request
  // that would start past it is not sent. A platform without transfers of its
  // own in flight may ignore both.
  struct Wait {
    std::function<void()> interruptionPoint;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  };

  // The platform part: the opened device and its lock. Defined in
  // USBDeviceOSImpl.h; tests may substitute their own.
  class OSImpl;

  USBDevice();
  virtual ~USBDevice();
  USBDevice(const USBDevice&) = delete;
  USBDevice& operator=(const USBDevice&) = delete;

  // How long a device may take to answer a request: it answers at once, and
  // a busy one within the time it announced, which this program takes to be
  // a second at most. Every request sent through this class ends within it,
  // the requests of one call together (a connection, a batch, an identity
  // read), whatever the caller's wait allows: a device that has not answered
  // by then has failed the request with a time-out, so that one that answers
  // nothing holds its caller this long and no longer.
  static constexpr std::chrono::milliseconds kRequestTimeout{1200};

  // Opens the device behind `handle`, reads its info with strings and its
  // place on the bus, and runs postConnect(). The identity is the kernel's
  // record of the device, which costs no request; what the kernel did not
  // keep is asked of the device, all requests within kRequestTimeout. False,
  // the device left disconnected, when it cannot be opened or its identity
  // cannot be read (a device that did not answer in time may bear any serial
  // number). Connecting while connected replaces the previous device.
  bool connect(const USBDeviceOSHandle& handle);
  // The same, its requests waiting for the device as `wait` allows too. When
  // the interruption point throws, the device is left disconnected.
  bool connect(const USBDeviceOSHandle& handle, const Wait& wait);
  // Closes the device. The info and the place of the device just left are
  // kept, so that it can be recognised when it comes back.
  void disconnect();

  // Sends one request, within kRequestTimeout and as the wait of the call in
  // progress allows, if any; kStatusNotConnected when no device is open.
  virtual Status controlTransfer(Request& request);
  // The same, waiting for the device as `wait` allows, and within
  // kRequestTimeout.
  Status controlTransfer(Request& request, const Wait& wait);
  // Sends the requests in order, each handed to the platform without waiting
  // for the one before to finish, so that a request and the one that must
  // follow it reach the device back to back; waits until all have finished.
  // Each request's status goes to the same place of `statuses`; only as many
  // requests as it has room for are sent. A request is sent whatever became
  // of those before it, as the platform may have queued it already. The
  // device's lock is held throughout. The requests go to the platform part
  // directly, not through controlTransfer, and all end within
  // kRequestTimeout.
  void controlTransfers(std::span<Request> requests, std::span<Status> statuses);
  // The same, waiting for the device as `wait` allows too.
  void controlTransfers(std::span<Request> requests, std::span<Status> statuses, const Wait& wait);

  // The first configuration descriptor of the connected device and its total
  // length, owned by the device until the next call or disconnection; null and
  // size 0 when not connected or on failure.
  const std::uint8_t* getConfigurationDescriptor(std::uint32_t& size);

  // The most data one control transfer may carry on this platform; a request
  // with a larger wLength fails without reaching the device. Thread: any.
  std::uint32_t maxControlTransferLength() const;

  bool isConnected() const { return m_connected; }
  USBDeviceOSHandle osHandle() const { return m_handle; }
  const USBDeviceInfo& deviceInfo() const { return m_info; }
  // Where the device last connected sits on the bus; unknown when the
  // platform cannot tell.
  const USBDeviceLocation& location() const { return m_location; }

  // Reads the info of the device behind `handle` as connect() reads it,
  // opening the device only to ask what the kernel did not keep, its requests
  // all within kRequestTimeout. False when the device did not answer them all
  // in time.
  static bool getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                       bool withStrings);
  // The same, its requests waiting as `wait` allows too.
  static bool getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                       bool withStrings, const Wait& wait);
  // Where the device behind `handle` sits on the bus, without opening it.
  // False, with `location` unknown, when the platform cannot tell.
  static bool getLocationForOSHandle(const USBDeviceOSHandle& handle, USBDeviceLocation& location);
  // A fixed text for a status word, "unknown" for codes without one.
  static const char* statusAsString(Status status);

  static OSImpl* createOSImpl();
  static void destroyOSImpl(OSImpl* impl);

 protected:
  // For tests and derived devices that bring their own platform part; the
  // device takes ownership and destroys it with destroyOSImpl().
  explicit USBDevice(OSImpl* impl);

  // Runs after every successful connection, under the device's lock.
  virtual bool postConnect();

  OSImpl* osImpl() const { return m_osImpl; }

  OSImpl* m_osImpl;
  bool m_connected = false;
  USBDeviceOSHandle m_handle = 0;
  USBDeviceInfo m_info;
  USBDeviceLocation m_location;
};

}  // namespace QV::QDV2
