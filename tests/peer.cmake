# Peers: dfu-util and the USB layer's DFU download against the same
# simulated keyboard.
find_package(nlohmann_json REQUIRED)
pkg_check_modules(QV_PEER_GLIB REQUIRED IMPORTED_TARGET glib-2.0)
qv_add_gtest(NAME usb_dfu_peer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/peer/DFUDevicePeerTest.cpp
  LIBS qv_usb qv_test_support PkgConfig::QV_PEER_GLIB
  LABELS usb peer
  UMOCKDEV
  TIMEOUT 300)
