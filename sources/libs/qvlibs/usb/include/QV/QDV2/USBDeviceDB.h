#pragma once

#include <cstdint>
#include <vector>

#include "QV/QDV2/USBDeviceFilter.h"

namespace QV::QDV2 {

// The read-only database of the maker's USB products: the only place where the
// keyboards' ids are stated. Each row names a product and lists the filters
// through which it can be found, update-mode filter first.
//
// The filters and rows are inline variables so that every translation unit
// that uses them initialises them before its own statics: code that builds a
// filter from these before main is safe whatever the link order.
//
// Thread: any; nothing here changes after start-up.
class USBDeviceDB {
 public:
  static constexpr std::uint16_t kVendorId = 0x17CC;

  // Family product ids; a keyboard in update mode enumerates with its family
  // id plus kUpdateModeOffset, and a device's family id is its product id
  // masked with kFamilyMask.
  static constexpr std::uint16_t kKeyboard25ProductId = 0x1340;
  static constexpr std::uint16_t kKeyboard49ProductId = 0x1350;
  static constexpr std::uint16_t kKeyboard61ProductId = 0x1360;
  static constexpr std::uint16_t kKeyboard88ProductId = 0x1410;
  static constexpr std::uint16_t kFamilyMask = 0xFFF0;
  static constexpr std::uint16_t kUpdateModeOffset = 2;

  // Whether a device enumerated with `productId` is a keyboard in update mode,
  // as its id alone tells.
  static constexpr bool isUpdateModeProductId(std::uint16_t productId) {
    return productId == std::uint16_t((productId & kFamilyMask) + kUpdateModeOffset);
  }

  // GUID words. Discovery on this platform never reads a filter's guid; it is
  // handed back with every found device.
  static constexpr const char* USBGUID = "usb-guid-magic";
  static constexpr const char* HIDGUID = "hid-guid-magic";
  static constexpr const char* QVDFUGUID = "qvdfu-guid-magic";
  static constexpr const char* QViAPGUID = "qviap-guid-magic";
  static constexpr const char* QVBulkDisplayGUID = "qvbd-guid-magic";

  // The interface GUID of the keyboards' update-mode filters.
  static constexpr const char* KeyboardDFUGUID = "{2370559D-DD84-429a-9ECC-FBC0CF5C1621}";

  // Generic filters.
  static inline const USBDeviceFilter USBDevices{eUSB, USBGUID, "IOUSBDevice", 0};
  static inline const USBDeviceFilter HIDDevices{eHID, HIDGUID, "IOHIDDevice", 0};
  static inline const USBDeviceFilter QVUSBDevices{eUSB, USBGUID, "IOUSBDevice",
                                                   USBDeviceFilter::makeIds(kVendorId, 0)};
  static inline const USBDeviceFilter QVHIDDevices{eHID, HIDGUID, "IOHIDDevice",
                                                   USBDeviceFilter::makeIds(kVendorId, 0)};

  // Keyboard filters, two per keyboard. The update-mode filters carry the
  // family product id: callers looking for a keyboard in update mode copy the
  // filter and set the product half themselves.
  static inline const USBDeviceFilter Keyboard25{
      eHID, HIDGUID, "IOHIDDevice", USBDeviceFilter::makeIds(kVendorId, kKeyboard25ProductId)};
  static inline const USBDeviceFilter Keyboard25DFU{
      eDeviceInterface, KeyboardDFUGUID, "IOUSBDevice",
      USBDeviceFilter::makeIds(kVendorId, kKeyboard25ProductId)};
  static inline const USBDeviceFilter Keyboard49{
      eHID, HIDGUID, "IOHIDDevice", USBDeviceFilter::makeIds(kVendorId, kKeyboard49ProductId)};
  static inline const USBDeviceFilter Keyboard49DFU{
      eDeviceInterface, KeyboardDFUGUID, "IOUSBDevice",
      USBDeviceFilter::makeIds(kVendorId, kKeyboard49ProductId)};
  static inline const USBDeviceFilter Keyboard61{
      eHID, HIDGUID, "IOHIDDevice", USBDeviceFilter::makeIds(kVendorId, kKeyboard61ProductId)};
  static inline const USBDeviceFilter Keyboard61DFU{
      eDeviceInterface, KeyboardDFUGUID, "IOUSBDevice",
      USBDeviceFilter::makeIds(kVendorId, kKeyboard61ProductId)};
  static inline const USBDeviceFilter Keyboard88{
      eHID, HIDGUID, "IOHIDDevice", USBDeviceFilter::makeIds(kVendorId, kKeyboard88ProductId)};
  static inline const USBDeviceFilter Keyboard88DFU{
      eDeviceInterface, KeyboardDFUGUID, "IOUSBDevice",
      USBDeviceFilter::makeIds(kVendorId, kKeyboard88ProductId)};

  // One product row.
  struct Entry {
    std::vector<const char*> names;  // display name first, then short names
    std::vector<const USBDeviceFilter*> filters;
    std::uint16_t productId = 0;  // the family product id
  };

  // The product rows. Only the keyboards are reached by this program, so only
  // their rows are held.
  static inline const std::vector<Entry> devices{
      {{"TARSIN VANTA 25", "VANTA 25", "Keyboard25"}, {&Keyboard25DFU, &Keyboard25}, kKeyboard25ProductId},
      {{"TARSIN VANTA 49", "VANTA 49", "Keyboard49"}, {&Keyboard49DFU, &Keyboard49}, kKeyboard49ProductId},
      {{"TARSIN VANTA 61", "VANTA 61", "Keyboard61"}, {&Keyboard61DFU, &Keyboard61}, kKeyboard61ProductId},
      {{"TARSIN VANTA 88", "VANTA 88", "Keyboard88"}, {&Keyboard88DFU, &Keyboard88}, kKeyboard88ProductId},
  };

  // The filter of `type` for the product `productId`: with type eUSB the first
  // filter of the first row of that product, whatever its type; otherwise the
  // first filter of that type in the rows of that product. Null for id 0 or
  // no match.
  static const USBDeviceFilter* getDeviceFilter(std::uint16_t productId, eUSBDeviceType type);

  // As above, but a row matches only when the vendor half of its first
  // filter's ids is `vendorId` too. Null when either id is 0.
  static const USBDeviceFilter* getDeviceFilter(std::uint16_t vendorId, std::uint16_t productId,
                                                eUSBDeviceType type);
};

}  // namespace QV::QDV2
