#include "QV/QDV2/USBDeviceDB.h"

namespace QV::QDV2 {

namespace {

// The first filter of `row` for `type`: with eUSB the row's first filter
// whatever its type, otherwise the first of that type; null when none.
const USBDeviceFilter* filterOfRow(const USBDeviceDB::Entry& row, eUSBDeviceType type) {
  if (type == eUSB) {
    return row.filters.empty() ? nullptr : row.filters.front();
  }
  for (const USBDeviceFilter* filter : row.filters) {
    if (filter != nullptr && filter->type == type) {
      return filter;
    }
  }
  return nullptr;
}

}  // namespace

const USBDeviceFilter* USBDeviceDB::getDeviceFilter(std::uint16_t productId, eUSBDeviceType type) {
  if (productId == 0) {
    return nullptr;
  }
  for (const Entry& row : devices) {
    if (row.productId != productId) {
      continue;
    }
    // A row of this product without a filter of the type does not end the
    // search: a later row of the same product may have one.
    if (const USBDeviceFilter* filter = filterOfRow(row, type)) {
      return filter;
    }
  }
  return nullptr;
}

const USBDeviceFilter* USBDeviceDB::getDeviceFilter(std::uint16_t vendorId, std::uint16_t productId,
                                                    eUSBDeviceType type) {
  if (vendorId == 0 || productId == 0) {
    return nullptr;
  }
  for (const Entry& row : devices) {
    // The row's vendor is the vendor half of its first filter.
    if (row.productId != productId || row.filters.empty() || row.filters.front() == nullptr ||
        row.filters.front()->vendorId() != vendorId) {
      continue;
    }
    if (const USBDeviceFilter* filter = filterOfRow(row, type)) {
      return filter;
    }
  }
  return nullptr;
}

}  // namespace QV::QDV2
