# The update engine, its configuration and the module's part in them, against
# simulated keyboards through the real libusb, in-process. The road's waits
# are real: about a minute in all.
qv_add_gtest(NAME app_engine_road_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine/UpgradeLogicRoadTest.cpp
  LIBS qv_zarn qv_test_support
  LABELS app road
  UMOCKDEV
  TIMEOUT 600)
