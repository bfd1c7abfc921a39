#pragma once

#include "QV/QDV2/USBDevice.h"

namespace QV::QDV2::LINUX {

// The status words libusb errors turn into, named as IOKit names them.
constexpr USBDevice::Status kIOReturnError = 0xE00002BC;
constexpr USBDevice::Status kIOReturnNoMemory = 0xE00002BD;
constexpr USBDevice::Status kIOReturnNoDevice = 0xE00002C0;
constexpr USBDevice::Status kIOReturnNotPrivileged = 0xE00002C1;
constexpr USBDevice::Status kIOReturnBadArgument = 0xE00002C2;
constexpr USBDevice::Status kIOReturnUnsupported = 0xE00002C7;
constexpr USBDevice::Status kIOReturnIOError = 0xE00002CA;
constexpr USBDevice::Status kIOReturnBusy = 0xE00002D5;
constexpr USBDevice::Status kIOReturnOverrun = 0xE00002E8;
constexpr USBDevice::Status kIOUSBPipeStalled = 0xE000404F;
constexpr USBDevice::Status kIOUSBTransactionTimeout = 0xE0004051;

// The system's IOKit-style status word for a libusb result: 0 for success and
// for any non-negative count, the nearest kIOReturn or USB family code for an
// error, and kIOReturnError for errors without a counterpart.
USBDevice::Status statusFromLibusb(int result);

}  // namespace QV::QDV2::LINUX
