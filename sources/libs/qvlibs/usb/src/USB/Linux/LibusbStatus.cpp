#include "USB/Linux/LibusbStatus.h"

#include <libusb.h>

namespace QV::QDV2::LINUX {

USBDevice::Status statusFromLibusb(int result) {
  if (result >= 0) {
    return USBDevice::kStatusSuccess;
  }
  switch (result) {
    case LIBUSB_ERROR_IO:
      return kIOReturnIOError;
    case LIBUSB_ERROR_INVALID_PARAM:
      return kIOReturnBadArgument;
    case LIBUSB_ERROR_ACCESS:
      return kIOReturnNotPrivileged;
    case LIBUSB_ERROR_NO_DEVICE:
      return kIOReturnNoDevice;
    case LIBUSB_ERROR_BUSY:
      return kIOReturnBusy;
    case LIBUSB_ERROR_TIMEOUT:
      return kIOUSBTransactionTimeout;
    case LIBUSB_ERROR_OVERFLOW:
      return kIOReturnOverrun;
    case LIBUSB_ERROR_PIPE:
      return kIOUSBPipeStalled;
    case LIBUSB_ERROR_NO_MEM:
      return kIOReturnNoMemory;
    case LIBUSB_ERROR_NOT_SUPPORTED:
      return kIOReturnUnsupported;
    default:
      return kIOReturnError;
  }
}

}  // namespace QV::QDV2::LINUX
