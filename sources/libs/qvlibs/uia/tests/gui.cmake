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
