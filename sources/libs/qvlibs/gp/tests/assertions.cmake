# Failed checks, debug trace and the message box's portable half (the alert
# itself needs a display and is not run here).
qv_add_gtest(NAME gp_assertion_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AssertionTest.cpp
  LIBS qv_gp
  LABELS gp unit)
target_include_directories(gp_assertion_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
