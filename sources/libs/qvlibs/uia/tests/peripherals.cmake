# Displays, power notices and the file dialog's portable half, without a
# display. The power notices come from a mocked logind on a private bus.
qv_add_gtest(NAME uia_peripherals_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DisplayLayoutTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DisplayNoticeTest.mm
    ${CMAKE_CURRENT_LIST_DIR}/PowerManagerTest.mm
    ${CMAKE_CURRENT_LIST_DIR}/FileDialogTest.cpp
  LIBS QV::UIA PkgConfig::LIBSYSTEMD
  LABELS uia unit)
target_include_directories(uia_peripherals_test PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../src
  ${PROJECT_SOURCE_DIR}/tests/support)
