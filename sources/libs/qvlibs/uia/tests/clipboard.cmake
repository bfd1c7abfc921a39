# Clipboard formats, pasteboard reading and drag routing, without a display.
qv_add_gtest(NAME uia_clipboard_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ClipBoardTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DragDropTest.cpp
  LIBS QV::UIA
  LABELS uia unit)

# The general clipboard against xclip and against owners of the test's own,
# on a display of its own.
add_executable(uia_clipboard_peer ${CMAKE_CURRENT_LIST_DIR}/gui/ClipboardPeerMain.cpp)
target_link_libraries(uia_clipboard_peer PRIVATE QV::UIA)
qv_warnings(uia_clipboard_peer)

qv_add_gtest(NAME uia_clipboard_gui_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ClipBoardPeerTest.cpp
  LIBS qv_gui_support QV::UIA X11::X11
  LABELS uia gui
  TIMEOUT 180)
target_compile_definitions(uia_clipboard_gui_test PRIVATE QV_UIA_CLIPBOARD_PEER="$<TARGET_FILE:uia_clipboard_peer>")
add_dependencies(uia_clipboard_gui_test uia_clipboard_peer)

# Drags between two windows and from another process, driven with xdotool.
add_executable(uia_dragdrop_app
  ${CMAKE_CURRENT_LIST_DIR}/gui/DragDropApplicationMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/TestApplicationTerminate.mm)
target_include_directories(uia_dragdrop_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
target_link_libraries(uia_dragdrop_app PRIVATE qv_startup QV::UIA)
qv_warnings(uia_dragdrop_app)
qv_add_app_bundle(TARGET uia_dragdrop_app
  NAME "UIA Drag Test"
  IDENTIFIER com.example.qv.uia-drag-test
  VERSION "1.0,1")

qv_add_gtest(NAME uia_dragdrop_gui_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DragDropGuiTest.cpp
  LIBS qv_gui_support
  LABELS uia gui
  TIMEOUT 240)
target_compile_definitions(uia_dragdrop_gui_test PRIVATE QV_UIA_DRAGDROP_APP="$<TARGET_FILE:uia_dragdrop_app>")
add_dependencies(uia_dragdrop_gui_test uia_dragdrop_app)
