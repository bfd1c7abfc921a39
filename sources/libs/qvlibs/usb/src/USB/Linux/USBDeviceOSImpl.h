#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <libusb.h>

#include "QV/QDV2/USBDeviceOSImpl.h"
#include "USB/Linux/DeviceTable.h"
#include "USB/Linux/SysfsDevice.h"

namespace QV::QDV2::LINUX {

// The libusb platform part of a USBDevice: an open libusb handle on a device
// of the process's device table, whose entry it holds while connected.
//
// A device's identity and configuration are what the kernel recorded when it
// enumerated the device (libusb's copy of the device descriptor, and the
// device's sysfs record, SysfsDevice): reading them sends the device nothing.
// Only what the kernel did not keep is asked of the device.
//
// Interfaces are not claimed. Linux lets a process send control requests on
// the default pipe without claiming anything; for a request addressed to an
// interface usbfs claims that interface on the caller's behalf when no kernel
// driver holds it, which is the case for the DFU interfaces.
//
// Thread: the shared USBDevice code serialises every call through mutex().
// Devices share the process's libusb context, so two devices may be used by
// two threads at once, and either thread may be the one whose event handling
// ends the other's transfers.
class USBDeviceOSImpl final : public USBDevice::OSImpl {
 public:
  // How long one control transfer may take before it fails with a time-out,
  // when the caller's wait does not end it sooner: the one bound of every
  // request (USBDevice::kRequestTimeout), so that a request sent here directly
  // keeps it too.
  static constexpr unsigned kControlTimeoutMs = unsigned(USBDevice::kRequestTimeout.count());
  // How long transfers past their time-out are waited for before they are
  // cancelled, and then before they are given up.
  static constexpr unsigned kCancelGraceMs = 1000;
  // How long events are handled at a time while transfers are in flight:
  // between two slices the caller's interruption point may stop the wait.
  static constexpr unsigned kWaitSliceMs = 50;
  // Linux's USB file system carries at most 4096 bytes of data in one control
  // transfer; libusb refuses a larger one before it reaches the kernel.
  static constexpr std::uint32_t kMaxControlTransferLength = 4096;

  USBDeviceOSImpl() = default;
  ~USBDeviceOSImpl() override;

  bool connect(USBDeviceOSHandle handle) override;
  void disconnect() override;
  bool getDeviceInfo(USBDeviceInfo& info) override;
  bool getDeviceInfo(USBDeviceInfo& info, bool withStrings) override;
  bool readDeviceInfo(USBDeviceOSHandle handle, USBDeviceInfo& info, bool withStrings) override;
  bool readLocation(USBDeviceOSHandle handle, USBDeviceLocation& location) override;
  USBDevice::Status controlTransfer(USBDevice::Request& request) override;
  // Submits every request before it waits for any, so that the kernel queues
  // each behind the one before and sends it as soon as that one is done.
  // Honours wait(): its deadline shortens the time-out of the transfers, and
  // its interruption point is called while they are in flight.
  void controlTransfers(std::span<USBDevice::Request> requests,
                        std::span<USBDevice::Status> statuses) override;
  const std::uint8_t* getConfigurationDescriptor(std::uint32_t& size) override;
  std::uint32_t maxControlTransferLength() const override { return kMaxControlTransferLength; }

  // The text of a string descriptor of which `received` bytes came back.
  // False unless it is a string descriptor (type 3, bLength at least 2). The
  // device's bLength is believed only as far as bytes were received, and an
  // odd length drops its last byte.
  static bool decodeStringDescriptor(const std::uint8_t* reply, std::size_t received,
                                     std::u16string& text);

 private:
  using Clock = std::chrono::steady_clock;

  // One submitted libusb transfer and its buffer: the setup packet, then the
  // data.
  struct Transfer {
    libusb_transfer* transfer = nullptr;
    std::unique_ptr<unsigned char[]> buffer;
  };
  // The transfers of one controlTransfers call. libusb runs the callback in
  // whichever thread handles events, which is another device's thread as
  // often as the calling one, so the count and the flag are atomic. Every
  // request is counted before any is submitted: a transfer that ends before
  // the next is submitted must not end the batch.
  struct Batch {
    explicit Batch(std::size_t count);
    static void LIBUSB_CALL onFinished(libusb_transfer* transfer);
    // One request has ended, or will never start; the last sets `finished`,
    // after which the batch may be freed at once.
    void ended();
    bool isFinished();
    void cancel();

    std::vector<Transfer> transfers;
    std::atomic<std::size_t> unfinished;
    // libusb watches a plain int; this code writes and reads it only through
    // std::atomic_ref.
    alignas(std::atomic_ref<int>::required_alignment) int finished = 0;
  };

  // Hands `request` to libusb with a time-out of `timeoutMs`; the status of a
  // request that could not be submitted, else success with `transfer` filled.
  USBDevice::Status submit(USBDevice::Request& request, Transfer& transfer, Batch& batch, unsigned timeoutMs);
  // Handles libusb's events until every transfer of `batch` has ended,
  // cancelling those still in flight at `cancelAt`; false when some would not
  // end even then. Calls `interruptionPoint`, when there is one, between
  // slices of the wait, and lets what it throws go on.
  bool waitUntilFinished(Batch& batch, Clock::time_point cancelAt, const std::function<void()>& interruptionPoint);
  // Keeps a batch whose transfers would not end for the rest of the
  // process: libusb may still write into it at any time.
  static void abandon(std::unique_ptr<Batch> batch);
  // The statuses of the ended transfers of `batch`, their replies copied into
  // `requests`; frees them.
  void finishAll(std::span<USBDevice::Request> requests, std::span<USBDevice::Status> statuses, Batch& batch);
  // The status of an ended transfer, its reply copied into `request`; frees
  // the transfer.
  USBDevice::Status finish(USBDevice::Request& request, Transfer& transfer);

  // Reads string descriptor `index` with language id 0, which devices answer
  // in their only or first language; the request's status, or an error when
  // the reply is not a string descriptor.
  USBDevice::Status getDescriptorString(std::uint8_t index, std::u16string& text);
  // The strings of `device` that its device descriptor names, from
  // `kernel`, its record; one the kernel did not keep is asked of the device,
  // which is opened for that, and closed again, when this part does not hold
  // it.
  // False when the device did not answer such a request in time (it may have
  // any string, its serial number included) or could not be opened; a string
  // whose request failed otherwise is empty, as the device that refuses it
  // has none.
  bool readStrings(const DeviceReference& device, const SysfsDevice& kernel, USBDeviceInfo& info);
  // Reads the first configuration descriptor from the open device into
  // m_configuration; false when it cannot be read.
  bool askConfigurationDescriptor();

  DeviceReference m_device;
  libusb_device_handle* m_handle = nullptr;
  libusb_context* m_context = nullptr;
  // The kernel's record of the open device, held while it is connected.
  SysfsDevice m_record;
  std::vector<std::uint8_t> m_configuration;
};

}  // namespace QV::QDV2::LINUX
