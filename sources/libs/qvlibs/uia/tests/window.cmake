# Native windows without a display: style, level, coordinates and resize
# limits, the conversion of pictures for the screen, and the mouse state
# machine on recorded events.
qv_add_gtest(NAME uia_window_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/WindowGeometryTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MouseInputTest.cpp
  LIBS QV::UIA
  LABELS uia unit)

# The close path of the platform implementation without a native window,
# pictures made platform images, and the view's drag record.
qv_add_gtest(NAME uia_window_close_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/WindowCloseTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlatformImageTest.mm
  LIBS QV::UIA
  LABELS uia unit)
target_include_directories(uia_window_close_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
