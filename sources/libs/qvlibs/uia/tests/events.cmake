# Events, tick timers and asynchronous events, without a display.
qv_add_gtest(NAME uia_events_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/EventTimerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlatformEventTest.mm
  LIBS QV::UIA
  LABELS uia unit)
target_include_directories(uia_events_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
