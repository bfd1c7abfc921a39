# The update engine, its configuration and the module's part in them, against
# simulated keyboards through the real libusb, in-process. The road's waits
# are real: about a minute in all.
qv_add_gtest(NAME app_engine_road_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine/UpgradeLogicRoadTest.cpp
  LIBS qv_zarn qv_test_support
  LABELS app road
  UMOCKDEV
  TIMEOUT 600)

# Two keyboards of one size: one update changes only the keyboard being
# updated. Each case walks a whole road (10 to 25 s), so the cases run in
# groups side by side, each group a process with its own simulated bus.
qv_add_gtest(NAME app_engine_follow_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine/FollowTheKeyboardRoadTest.cpp
  LIBS qv_zarn qv_test_support
  LABELS app road
  UMOCKDEV
  ARGS --gtest_filter=Pairs/TwoKeyboards.*/noSerial*
  TIMEOUT 400)
foreach(group IN ITEMS sameSerial otherSerial)
  add_test(NAME app_engine_follow_${group}
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-isolated umockdev-wrapper $<TARGET_FILE:app_engine_follow_test>
            --gtest_filter=Pairs/TwoKeyboards.*/${group}*)
  set_tests_properties(app_engine_follow_${group} PROPERTIES
    LABELS "app;road" TIMEOUT 400 ENVIRONMENT "${QV_TEST_ENV}")
endforeach()
add_test(NAME app_engine_follow_chosen
  COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-isolated umockdev-wrapper $<TARGET_FILE:app_engine_follow_test>
          --gtest_filter=Bystanders/ChosenKeyboard.*:KeyboardsPresent.*)
set_tests_properties(app_engine_follow_chosen PROPERTIES
  LABELS "app;road" TIMEOUT 400 ENVIRONMENT "${QV_TEST_ENV}")
add_test(NAME app_engine_follow_elsewhere
  COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-isolated umockdev-wrapper $<TARGET_FILE:app_engine_follow_test>
          --gtest_filter=KeyboardElsewhere.*)
set_tests_properties(app_engine_follow_elsewhere PROPERTIES
  LABELS "app;road" TIMEOUT 400 ENVIRONMENT "${QV_TEST_ENV}")
add_test(NAME app_engine_follow_namesake
  COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-isolated umockdev-wrapper $<TARGET_FILE:app_engine_follow_test>
          --gtest_filter=Namesakes/ShownKeyboardAway.*)
set_tests_properties(app_engine_follow_namesake PROPERTIES
  LABELS "app;road" TIMEOUT 400 ENVIRONMENT "${QV_TEST_ENV}")
qv_check_gtest_groups(NAME app_engine_follow_every_case_grouped PROGRAM app_engine_follow_test
  LABELS app unit
  GROUPS noSerial "Pairs/TwoKeyboards.*/noSerial*" sameSerial "Pairs/TwoKeyboards.*/sameSerial*"
         otherSerial "Pairs/TwoKeyboards.*/otherSerial*" chosen "Bystanders/ChosenKeyboard.*:KeyboardsPresent.*"
         elsewhere "KeyboardElsewhere.*" namesake "Namesakes/ShownKeyboardAway.*")
