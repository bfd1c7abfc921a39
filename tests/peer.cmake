# Peers: dfu-util and the USB layer's DFU download against the same
# simulated keyboard.
find_package(nlohmann_json REQUIRED)
qv_add_gtest(NAME usb_dfu_peer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/peer/DFUDevicePeerTest.cpp
  LIBS qv_usb qv_test_support
  LABELS usb peer
  UMOCKDEV
  TIMEOUT 300)
