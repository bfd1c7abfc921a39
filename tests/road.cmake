# The update road without a window: update-road under the simulated-keyboard
# program, one CTest test per keyboard size and per group of faults so that
# they run side by side.
if(NOT TARGET update-road)
  return()
endif()
find_package(nlohmann_json REQUIRED)

set(QV_ROAD_GROUPS
  keys25 "Sizes/FullRoad.*/keys25"
  keys49 "Sizes/FullRoad.*/keys49"
  keys61 "Sizes/FullRoad.*/keys61"
  keys88 "Sizes/FullRoad.*/keys88"
  newer "Sizes/FullRoad.*/*SecondNewer"
  lateback "Sizes/FullRoad.*/backLate*"
  verdicts "UpdateRoadProgram.anUpdate*"
  recovery "UpdateRoadProgram.aRetryRecovers*"
  ends "UpdateRoadProgram.aKeyboardThatNever*:UpdateRoadProgram.aKeyboardAt*:UpdateRoadProgram.noKeyboard*"
  late "Bystanders/TwoKeyboardRoad.*/late*"
  elsewhere "Bystanders/TwoKeyboardRoad.*/backOn*"
  ambiguous "Bystanders/TwoKeyboardRoad.*/*SerialBackOn*"
  restart "Bystanders/TwoKeyboardRoad.*/restart*"
  namesake "Bystanders/TwoKeyboardRoad.*/namesake*"
  choice "Bystanders/TwoKeyboardRoad.*/choice*"
  leftovers "UpdateRoadProgram.aKeyboardLeft*:UpdateRoadProgram.aKeyboardFound*"
  real "UpdateRoadProgram.aRealKeyboard*"
  busy "UpdateRoadProgram.aKeyboardThatStaysBusy*"
  stuck "UpdateRoadProgram.aKeyboardStuck*")

qv_add_gtest(NAME app_road_update_road_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/road/UpdateRoadTest.cpp
  LIBS qv_zarn simkbd_model nlohmann_json::nlohmann_json
  LABELS app road
  ARGS --gtest_filter=Sizes/FullRoad.*/keys25
  TIMEOUT 300)
target_compile_definitions(app_road_update_road_test PRIVATE
  SIMULATED_KEYBOARD="$<TARGET_FILE:simulated-keyboard>"
  UPDATE_ROAD="$<TARGET_FILE:update-road>")
target_include_directories(app_road_update_road_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support)
add_dependencies(app_road_update_road_test simulated-keyboard update-road)

# The first group runs under the target's own name; the others as further
# tests of the same program.
list(SUBLIST QV_ROAD_GROUPS 2 -1 QV_ROAD_FURTHER_GROUPS)
while(QV_ROAD_FURTHER_GROUPS)
  list(POP_FRONT QV_ROAD_FURTHER_GROUPS group filter)
  add_test(NAME app_road_${group}
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-isolated $<TARGET_FILE:app_road_update_road_test>
            --gtest_filter=${filter})
  set_tests_properties(app_road_${group} PROPERTIES
    LABELS "app;road" TIMEOUT 600 ENVIRONMENT "${QV_TEST_ENV}")
endwhile()

# The road's own decisions, against scripted callbacks.
qv_add_gtest(NAME app_road_logic_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/road/UpdateRoadLogicTest.cpp
  LIBS qv_update_road
  LABELS app unit
  TIMEOUT 60)
qv_check_gtest_groups(NAME app_road_every_case_grouped PROGRAM app_road_update_road_test
  LABELS app unit GROUPS ${QV_ROAD_GROUPS})
