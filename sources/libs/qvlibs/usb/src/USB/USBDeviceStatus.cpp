#include <array>
#include <cstdint>

#include "QV/QDV2/USBDevice.h"

namespace QV::QDV2 {

namespace {

constexpr USBDevice::Status kIOReturnInvalid = 0xE0000001;
constexpr USBDevice::Status kIOReturnMinusOne = 0xFFFFFFFF;

// The platform's kIOReturn codes from kIOReturnError to kIOReturnNotFound,
// one text per code in order. Two codes in the range have no name.
constexpr USBDevice::Status kIOReturnError = 0xE00002BC;
constexpr std::array<const char*, 53> kIOReturnTexts = {
    "general error",
    "can't allocate memory",
    "resource shortage",
    "error during IPC",
    "no such device",
    "privilege violation",
    "invalid argument",
    "device read locked",
    "device write locked",
    "exclusive access and device already open",
    "sent/received messages",
    "unsupported function",
    "misc. VM failure",
    "internal error",
    "General I/O error",
    "unknown",
    "can't acquire lock",
    "device not open",
    "read not supported",
    "write not supported",
    "alignment error",
    "Media Error",
    "device(s) still open",
    "rld failure",
    "DMA failure",
    "Device Busy",
    "I/O Timeout",
    "device offline",
    "not ready",
    "device not attached",
    "no DMA channels left",
    "no space for data",
    "unknown",
    "port already exists",
    "can't wire down",
    "no interrupt attached",
    "no DMA frames enqueued",
    "oversized msg received on interrupt port",
    "not permitted",
    "no power to device",
    "media not present",
    "media not formatted",
    "no such mode",
    "data underrun",
    "data overrun",
    "the device is not working properly",
    "a completion routine is required",
    "operation aborted",
    "bus bandwidth would be exceeded",
    "device not responding",
    "isochronous I/O request for distant past",
    "isochronous I/O request for distant future",
    "data was not found",
};

struct CodeText {
  USBDevice::Status code;
  const char* text;
};

// The USB family's own codes.
constexpr std::array<CodeText, 24> kUSBFamilyTexts = {{
    {0xE0004001, "Pipe stall, bad CRC"},
    {0xE0004002, "Pipe stall, bitstuffing"},
    {0xE0004003, "Pipe stall, Bad data toggle"},
    {0xE0004006, "Pipe stall, PID CRC error"},
    {0xE0004007, "Pipe stall, Bad or wrong PID"},
    {0xE000400C, "Buffer Overrun (Host hardware failure on data out, PCI busy?)"},
    {0xE000400D, "Buffer Underrun (Host hardware failure on data out, PCI busy?)"},
    {0xE000400E, "Transaction not sent"},
    {0xE000400F, "Transaction not sent"},
    {0xE0004010, "LinkErr"},
    {0xE0004049, "The device is not a high speed device, so the EHCI driver returns an error"},
    {0xE000404A, "A synchronous USB request was made on the workloop thread (from a callback?)."},
    {0xE000404B, "Error to hub on high speed bus trying to do split transaction"},
    {0xE000404E, "Interface ref not recognized"},
    {0xE000404F, "Pipe has stalled"},
    {0xE0004050, "The transaction has been returned to the caller"},
    {0xE0004051, "Transaction timed out"},
    {0xE0004056, "Configuration Not found"},
    {0xE0004057, "Endpoint Not found"},
    {0xE000405D, "not enough power for selected configuration"},
    {0xE000405E, "not enough pipes in interface"},
    {0xE000405F, "no async port"},
    {0xE0004060, "Too many pipes"},
    {0xE0004061, "Pipe ref not recognized"},
}};

}  // namespace

const char* USBDevice::statusAsString(Status status) {
  switch (status) {
    case kStatusSuccess:
      return "success";
    case kIOReturnMinusOne:
      return "(Minus One: -1)";
    case kStatusNotConnected:
      return "device not connected";
    case kIOReturnInvalid:
      return "kIOReturnInvalid: should never be seen";
    default:
      break;
  }
  if (status >= kIOReturnError && status - kIOReturnError < kIOReturnTexts.size()) {
    return kIOReturnTexts[status - kIOReturnError];
  }
  for (const CodeText& entry : kUSBFamilyTexts) {
    if (entry.code == status) {
      return entry.text;
    }
  }
  return "unknown";
}

}  // namespace QV::QDV2
