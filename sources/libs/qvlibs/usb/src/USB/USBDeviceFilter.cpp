#include "QV/QDV2/USBDeviceFilter.h"

#include "QV/QDV2/USBDeviceFactory.h"

namespace QV::QDV2 {

bool USBDeviceFilter::getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                               bool withStrings) const {
  return USBDeviceFactory::getDeviceInfoForOSHandleWithFilter(handle, *this, info, withStrings);
}

}  // namespace QV::QDV2
