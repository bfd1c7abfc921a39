# Clipboard formats, pasteboard reading and drag routing, without a display.
qv_add_gtest(NAME uia_clipboard_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ClipBoardTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DragDropTest.cpp
  LIBS QV::UIA
  LABELS uia unit)
