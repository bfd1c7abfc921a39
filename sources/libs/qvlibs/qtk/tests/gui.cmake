# A toolkit window on a display of its own, driven with xdotool and read
# back from screenshots. Its bundle carries the updater's pictures.
add_executable(qtk_window_app ${CMAKE_CURRENT_LIST_DIR}/gui/ToolkitWindowMain.cpp)
target_link_libraries(qtk_window_app PRIVATE qv_startup QV::QTK)
qv_warnings(qtk_window_app)
qv_add_app_bundle(TARGET qtk_window_app
  NAME "QTK Window Test"
  IDENTIFIER com.example.qv.qtk-window-test
  VERSION "1.0,1"
  RESOURCES ${PROJECT_SOURCE_DIR}/sources/app/resources/pictures)

qv_add_gtest(NAME qtk_window_gui_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolkitGuiTest.cpp
  LIBS qv_gui_support
  LABELS uia gui
  TIMEOUT 180)
target_compile_definitions(qtk_window_gui_test PRIVATE QV_QTK_WINDOW_APP="$<TARGET_FILE:qtk_window_app>")
add_dependencies(qtk_window_gui_test qtk_window_app)
