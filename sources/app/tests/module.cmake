# The updater's module as the current module: the libraries it starts and
# stops, without a keyboard.
qv_add_gtest(NAME app_module_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ZARNUpdaterAppModuleTest.cpp
  LIBS qv_zarn
  LABELS app unit)
