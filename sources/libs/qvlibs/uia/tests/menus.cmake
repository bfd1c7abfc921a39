# Menu titles, key equivalents, the shortcut table and the accelerators,
# without a display; the menus of a running application are in gui.cmake.
qv_add_gtest(NAME uia_menu_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MenuTest.cpp
  LIBS QV::UIA
  LABELS uia unit)
