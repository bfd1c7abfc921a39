# Portable parts of the USB layer: device database, status texts, descriptor
# walking, trace, and the HID and kernel-driver readers with their platform
# reads substituted.
qv_add_gtest(NAME usb_pure_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/pure/USBDeviceDBTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/pure/USBDeviceStatusTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/pure/USBDescriptorTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/pure/LoggingTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/pure/HIDDeviceTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/pure/FX2DeviceTest.cpp
  LIBS qv_usb
  LABELS usb unit)
