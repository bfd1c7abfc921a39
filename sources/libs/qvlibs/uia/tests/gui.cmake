# The platform layer as a running GNUstep application: a test application
# that starts through the entry point and the delegate, on a display of its
# own.
add_executable(uia_test_app
  ${CMAKE_CURRENT_LIST_DIR}/gui/TestApplicationMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/TestApplicationTerminate.mm
  ${CMAKE_CURRENT_LIST_DIR}/gui/TestApplicationMenus.mm)
target_include_directories(uia_test_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src ${CMAKE_CURRENT_LIST_DIR}/gui)
target_link_libraries(uia_test_app PRIVATE qv_startup QV::UIA)
qv_warnings(uia_test_app)
qv_add_app_bundle(TARGET uia_test_app
  NAME "UIA Test"
  IDENTIFIER com.example.qv.uia-test
  VERSION "1.2.3,45")

# The application's start and end, and its menus.
foreach(name IN ITEMS Application Menu)
  string(TOLOWER ${name} group)
  qv_add_gtest(NAME uia_${group}_gui_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/${name}GuiTest.cpp
    LIBS qv_gui_support
    LABELS uia gui
    TIMEOUT 180)
  target_compile_definitions(uia_${group}_gui_test PRIVATE QV_UIA_TEST_APP="$<TARGET_FILE:uia_test_app>")
  add_dependencies(uia_${group}_gui_test uia_test_app)
endforeach()

# A standalone window that paints a known picture and logs its input and
# window events, driven with xdotool and read back from the screen.
add_executable(uia_window_app
  ${CMAKE_CURRENT_LIST_DIR}/gui/WindowApplicationMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/TestApplicationTerminate.mm)
target_include_directories(uia_window_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
target_link_libraries(uia_window_app PRIVATE qv_startup QV::UIA)
qv_warnings(uia_window_app)
qv_add_app_bundle(TARGET uia_window_app
  NAME "UIA Window Test"
  IDENTIFIER com.example.qv.uia-window-test
  VERSION "1.0,1")

qv_add_gtest(NAME uia_window_gui_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/WindowGuiTest.cpp
  LIBS qv_gui_support QV::UIA
  LABELS uia gui
  TIMEOUT 180)
target_include_directories(uia_window_gui_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(uia_window_gui_test PRIVATE QV_UIA_WINDOW_APP="$<TARGET_FILE:uia_window_app>")
add_dependencies(uia_window_gui_test uia_window_app)

# Key translation on a display of its own under two keyboard layouts: an
# application whose window prints what the view makes of each key.
add_executable(uia_key_app ${CMAKE_CURRENT_LIST_DIR}/gui/KeyApplicationMain.cpp)
target_link_libraries(uia_key_app PRIVATE qv_startup QV::UIA)
qv_warnings(uia_key_app)

qv_add_gtest(NAME uia_keys_gui_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/KeysGuiTest.cpp
  LIBS qv_gui_support
  LABELS uia gui
  TIMEOUT 180)
target_compile_definitions(uia_keys_gui_test PRIVATE QV_UIA_KEY_APP="$<TARGET_FILE:uia_key_app>")
add_dependencies(uia_keys_gui_test uia_key_app)
