# The application, its module, the library start-up and the windows, with a
# fake window implementation and without a display.
qv_add_gtest(NAME uia_application_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ModuleTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ApplicationTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WindowTest.cpp
  LIBS QV::UIA
  LABELS uia unit)
