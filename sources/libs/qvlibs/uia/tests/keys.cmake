# Key tables and the view's key path over recorded events, without a display.
qv_add_gtest(NAME uia_keys_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/KeysTest.cpp
  LIBS QV::UIA
  LABELS uia unit)
target_include_directories(uia_keys_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
