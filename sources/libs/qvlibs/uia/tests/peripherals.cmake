# Displays, without a display.
qv_add_gtest(NAME uia_peripherals_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DisplayLayoutTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DisplayNoticeTest.mm
  LIBS QV::UIA
  LABELS uia unit)
target_include_directories(uia_peripherals_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
