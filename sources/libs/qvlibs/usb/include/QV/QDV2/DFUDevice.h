#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "QV/QDV2/DFU.h"
#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceFilter.h"

namespace QV::QDV2 {

// A USBDevice that speaks the DFU 1.1 download protocol and the keyboards'
// vendor requests. It finds its DFU interface after every connection.
//
// Thread: writeImage, writeCustom, sendDFUAbort, returnToAPPMode and
// disconnect run on the update worker; the others on the main thread before
// the worker starts. Each request holds the device lock only while it runs.
class DFUDevice : public USBDevice {
 public:
  // mode values
  static constexpr std::uint8_t kModeNone = 0;     // no DFU interface
  static constexpr std::uint8_t kModeRunTime = 1;  // the device runs its application
  static constexpr std::uint8_t kModeDFU = 2;      // the device runs its loader

  // bStatus verdicts of writeImage besides the DFU codes: no image was given,
  // or the device is not in DFU mode. Other failures the program detects
  // itself give DFU::errUNKNOWN.
  static constexpr std::uint8_t kWriteImageNoImage = 1;
  static constexpr std::uint8_t kWriteImageNotInDFUMode = 3;

  // How the device waits; tests substitute their own clock.
  using SleepFunction = std::function<void(std::chrono::nanoseconds)>;

  DFUDevice();
  ~DFUDevice() override;

  // USBDevice::connect, then true only when a DFU interface was found. The
  // device stays connected when it has none.
  bool connect(const USBDeviceOSHandle& handle);

  bool queryDFUInfo();
  bool sendDFUDetach();
  bool returnToAPPMode();
  bool writeImage(const std::uint8_t* image, std::uint32_t size, DFU::GetStatus& status);
  bool writeCustom(const std::uint8_t* data, std::uint32_t size, std::uint8_t type);
  bool getCustomImageVersion(std::uint8_t type, std::uint32_t& version);
  bool reconnectInDFUMode();

  bool writeDFUData(const DFUClient::Payload& payload);
  bool getDFUStatus(DFU::GetStatus& status);
  bool getDFUState(std::uint8_t& state);
  bool sendDFUAbort();
  bool sendXMOSDFUResetIntoDFU();
  bool sendXMOSDFUResetFromDFU();

  std::uint8_t mode() const { return m_mode; }
  std::uint8_t bmAttributes() const { return m_bmAttributes; }
  std::uint16_t wDetachTimeOut() const { return m_wDetachTimeOut; }
  std::uint16_t wTransferSize() const { return m_wTransferSize; }
  std::uint16_t interfaceNumber() const { return m_interfaceNumber; }

  // Replaces how the device waits; an empty function restores real sleeping.
  void setSleepFunction(SleepFunction sleep);

 protected:
  // For tests that bring their own platform part.
  explicit DFUDevice(OSImpl* impl);

  bool postConnect() override;
  void sleep(std::chrono::nanoseconds duration) const;

  // One class request without data to the DFU interface; logs `failure`.
  bool sendClassRequest(std::uint8_t bRequest, std::uint16_t wValue, const char* failure);
  bool sendDFUDetachRequest();
  // One block of a download and, unless it is the end-of-data block, the
  // status polls until the device has taken it.
  bool writeBlock(DFUClient::Payload& payload, const std::uint8_t* data, std::uint32_t length,
                  std::uint16_t blockNumber, DFU::GetStatus& status);
  bool waitUntilBlockTaken(DFU::GetStatus& status);
  // Follows the device from the end of data to the end of manifestation.
  bool manifest(DFU::GetStatus& status);
  void onManifestedDeviceFound(const USBDeviceOSHandle& handle, std::uint8_t& state);

  std::uint8_t m_mode = kModeNone;
  std::uint8_t m_bmAttributes = 0;
  std::uint16_t m_wDetachTimeOut = 0;
  std::uint16_t m_wTransferSize = 0;
  std::uint16_t m_interfaceNumber = 0;
  SleepFunction m_sleep;

  friend void reconnect(const USBDeviceOSHandle&, const USBDeviceFilter&, DFUDevice*,
                        const std::string&);
};

// The device-found callback of DFUDevice::reconnectInDFUMode: connects
// `device` to the first found device whose serial number equals
// `serialNumber` (any, when it is empty).
void reconnect(const USBDeviceOSHandle& handle, const USBDeviceFilter& filter, DFUDevice* device,
               const std::string& serialNumber);

}  // namespace QV::QDV2
