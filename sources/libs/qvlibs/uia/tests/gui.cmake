# The platform layer as a running GNUstep application: a test application
# that starts through the entry point and the delegate, on a display of its
# own.
add_executable(uia_test_app
  ${CMAKE_CURRENT_LIST_DIR}/gui/TestApplicationMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/TestApplicationTerminate.mm)
target_include_directories(uia_test_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
target_link_libraries(uia_test_app PRIVATE qv_startup QV::UIA)
qv_warnings(uia_test_app)
qv_add_app_bundle(TARGET uia_test_app
  NAME "UIA Test"
  IDENTIFIER com.example.qv.uia-test
  VERSION "1.2.3,45")

qv_add_gtest(NAME uia_application_gui_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ApplicationGuiTest.cpp
  LIBS qv_gui_support
  LABELS uia gui
  TIMEOUT 180)
target_compile_definitions(uia_application_gui_test PRIVATE QV_UIA_TEST_APP="$<TARGET_FILE:uia_test_app>")
add_dependencies(uia_application_gui_test uia_test_app)
