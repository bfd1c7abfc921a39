// bench-dfu-download SERIAL IMAGE
//
// Our side of the DFU block-phase benchmark: finds the 49-key keyboard with
// SERIAL in update mode and downloads IMAGE to it with DFUDevice, as the
// update worker does. It runs as a child of the benchmark, as dfu-util does,
// so that both hosts reach the keyboard the same way.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QV/QDV2/DFUDevice.h"
#include "QV/QDV2/USBDeviceDB.h"
#include "QV/QDV2/USBDeviceSighting.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: bench-dfu-download SERIAL IMAGE\n", stderr);
    return 2;
  }
  const std::string serial = argv[1];
  std::ifstream in(argv[2], std::ios::binary);
  const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (image.empty()) {
    std::fprintf(stderr, "bench-dfu-download: cannot read %s\n", argv[2]);
    return 1;
  }

  using namespace QV::QDV2;
  // Found as the updater finds the keyboard it follows: by its serial number.
  DFUDevice device;
  const std::vector<USBDeviceSighting> seen = USBDeviceSighting::scan(USBDeviceDB::QVUSBDevices);
  bool namesakeSeen = false;
  const USBDeviceSighting* found = USBDeviceSighting::follow(seen, USBDeviceDB::kKeyboard49ProductId, serial,
                                                             USBDeviceLocation{}, namesakeSeen);
  if (found != nullptr) {
    found->reach(USBDeviceDB::QVUSBDevices, [&](const USBDeviceOSHandle& handle) { return device.connect(handle); });
  }
  if (!device.isConnected() || device.mode() != DFUDevice::kModeDFU) {
    std::fprintf(stderr, "bench-dfu-download: no keyboard %s in update mode\n", serial.c_str());
    return 1;
  }
  DFU::GetStatus status;
  const bool written = device.writeImage(image.data(), std::uint32_t(image.size()), status);
  device.disconnect();
  if (!written) {
    std::fprintf(stderr, "bench-dfu-download: the download failed (bStatus %d, bState %d)\n", status.bStatus,
                 status.bState);
    return 1;
  }
  return 0;
}
