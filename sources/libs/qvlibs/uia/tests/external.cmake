# Opening web and mail addresses with a fake xdg-open; no display needed.
qv_add_gtest(NAME uia_external_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ExternalTest.cpp
  LIBS qv_uia qv_gui_support
  LABELS uia unit
  TIMEOUT 120)
