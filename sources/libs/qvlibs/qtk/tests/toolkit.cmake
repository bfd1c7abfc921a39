# The pane, the widgets and the toolkit window without a display: painting
# into pictures, mouse routing with synthetic events, widget timers with a
# hand-driven tick, and the window over a fake platform window.
qv_add_gtest(NAME qtk_toolkit_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PaneTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WindowTest.cpp
  LIBS QV::QTK
  LABELS uia unit)
target_include_directories(qtk_toolkit_test PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}
  ${CMAKE_CURRENT_LIST_DIR}/../../uia/tests)

# The widgets with the built-in font, and resource lookup in folders made
# for each test; the picture is one of the updater's own.
qv_add_gtest(NAME qtk_widgets_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/WidgetsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResourcesTest.cpp
  LIBS QV::QTK
  LABELS uia unit)
target_include_directories(qtk_widgets_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(qtk_widgets_test PRIVATE
  QV_QTK_TEST_PICTURE="${PROJECT_SOURCE_DIR}/sources/app/resources/pictures/IconInfo.png")
