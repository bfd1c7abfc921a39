// The row of the embedded firmware table for a keyboard size, for tests that
// compare what a keyboard received with the images the program carries.
#pragma once

#include "FirmwareImages.h"

namespace QV::TestSupport {

inline const QV::FW::FirmwareImageEntry& firmwareRow(unsigned size) {
  switch (size) {
    case 25: return QV::FW::arrFW[0];
    case 49: return QV::FW::arrFW[1];
    case 61: return QV::FW::arrFW[2];
    default: return QV::FW::arrFW[3];
  }
}

}  // namespace QV::TestSupport
