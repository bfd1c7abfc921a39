# The DFU download and the keyboards' vendor requests: exact request sequences
# against a scripted transport.
qv_add_gtest(NAME usb_dfu_protocol_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dfu/DFUDeviceProtocolTest.cpp
  LIBS qv_usb
  LABELS usb unit)

# The same against simulated keyboards through the real libusb. The road's
# waits are real: about half a minute in all.
qv_add_gtest(NAME usb_dfu_road_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dfu/DFUDeviceRoadTest.cpp
  LIBS qv_usb qv_test_support
  LABELS usb road
  UMOCKDEV
  TIMEOUT 240)
