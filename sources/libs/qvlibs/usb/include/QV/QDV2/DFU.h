#pragma once

#include <cstdint>

namespace QV::QDV2 {

namespace DFU {

// DFU 1.1 class requests.
enum Request : std::uint8_t {
  DFU_DETACH = 0,
  DFU_DNLOAD = 1,
  DFU_UPLOAD = 2,
  DFU_GETSTATUS = 3,
  DFU_CLRSTATUS = 4,
  DFU_GETSTATE = 5,
  DFU_ABORT = 6,
};

// DFU 1.1 device states.
enum State : std::uint8_t {
  appIDLE = 0,
  appDETACH = 1,
  dfuIDLE = 2,
  dfuDNLOAD_SYNC = 3,
  dfuDNBUSY = 4,
  dfuDNLOAD_IDLE = 5,
  dfuMANIFEST_SYNC = 6,
  dfuMANIFEST = 7,
  dfuMANIFEST_WAIT_RESET = 8,
  dfuUPLOAD_IDLE = 9,
  dfuERROR = 10,
};

// DFU 1.1 status codes. The download also uses 1 (no image), 3 (device not in
// DFU mode) and errUNKNOWN for verdicts of its own.
enum Status : std::uint8_t {
  OK = 0x00,
  errTARGET = 0x01,
  errFILE = 0x02,
  errWRITE = 0x03,
  errERASE = 0x04,
  errCHECK_ERASED = 0x05,
  errPROG = 0x06,
  errVERIFY = 0x07,
  errADDRESS = 0x08,
  errNOTDONE = 0x09,
  errFIRMWARE = 0x0A,
  errVENDOR = 0x0B,
  errUSBR = 0x0C,
  errPOR = 0x0D,
  errUNKNOWN = 0x0E,
  errSTALLEDPKT = 0x0F,
};

// The DFU_GETSTATUS reply, decoded. The wire form is 6 bytes, little-endian:
// bStatus, bwPollTimeout (3 bytes, ms), bState, iString.
struct GetStatus {
  std::uint8_t bStatus = 0;
  std::uint32_t bwPollTimeout = 0;
  std::uint8_t bState = 0;
  std::uint8_t iString = 0;
};

}  // namespace DFU

namespace DFUClient {

// One download block.
struct Payload {
  static constexpr std::uint32_t kMaxLength = 8192;
  std::uint16_t blockNumber = 0;
  std::uint16_t length = 0;
  std::uint8_t data[kMaxLength] = {};
};

}  // namespace DFUClient

}  // namespace QV::QDV2
