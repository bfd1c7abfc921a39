# The libusb platform layer: the device table, devices and discovery. The
# simulated-keyboard tests run under umockdev and need the keyboard host.
set(QV_USB_PRIVATE_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/../src)

qv_add_gtest(NAME usb_platform_unit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/USBPlatformUnitTest.cpp
  LIBS qv_usb PkgConfig::LIBUSB
  LABELS usb unit)
target_include_directories(usb_platform_unit_test PRIVATE ${QV_USB_PRIVATE_INCLUDE}
  ${PROJECT_SOURCE_DIR}/tests/support)

qv_add_gtest(NAME usb_device_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/USBDeviceKeyboardTest.cpp
  LIBS qv_usb qv_test_support
  LABELS usb usb
  UMOCKDEV TIMEOUT 120)

qv_add_gtest(NAME usb_discovery_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/USBDeviceFactoryKeyboardTest.cpp
  LIBS qv_usb qv_test_support PkgConfig::LIBUSB
  LABELS usb usb
  UMOCKDEV TIMEOUT 120)
target_include_directories(usb_discovery_test PRIVATE ${QV_USB_PRIVATE_INCLUDE})
