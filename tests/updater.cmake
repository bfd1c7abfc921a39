# The updater's window end to end under a virtual display, with the
# simulated keyboard. The road has real waits (2.5 s, 5 s): each group is a
# test of its own so that they run side by side.
if(NOT TARGET zrv_firmware_updater OR NOT TARGET simulated-keyboard)
  return()
endif()
find_package(nlohmann_json REQUIRED)

set(QV_UPDATER_GROUPS
  keys25 "Keyboards/Sizes.*/keys25"
  keys49 "Keyboards/Sizes.*/keys49"
  keys61 "Keyboards/Sizes.*/keys61"
  keys88 "Keyboards/Sizes.*/keys88"
  about "UpdaterWindow.About*:UpdaterWindow.NoKeyboard*"
  menus "UpdaterWindow.Menus*"
  second "UpdaterWindow.The88Key*"
  write "UpdaterWindow.AWriteFailure*"
  unplug "UpdaterWindow.AnUnplug*"
  ask "UpdaterWindow.AKeyboardThatWillNot*:UpdaterWindow.AltQ*"
  late "UpdaterWindow.AKeyboardBackLate*"
  namesake "UpdaterWindow.RetryWhileTheKeyboardIsAway*"
  elsewhere "UpdaterWindow.AKeyboardBackOnAnotherPort*:UpdaterWindow.AKeyboardFoundInUpdateMode*"
  restart "UpdaterWindow.AfterAQuitDuringTheWriting*"
  real "UpdaterWindow.ARealKeyboard*"
  busyrestart "UpdaterWindow.AfterAQuitWhileTheKeyboardIsBusy*"
  plug "UpdaterWindow.RescanFindsAKeyboardPluggedIn*"
  quitno "UpdaterWindow.QuitDuringTheUpdateAsks*"
  quityes "UpdaterWindow.QuitDuringTheUpdateWithYes*"
  quitbusy "UpdaterWindow.QuitWhileTheKeyboardStaysBusy*"
  quithang "UpdaterWindow.QuitWhileTheKeyboardAnswersNothing*"
  hung "UpdaterWindow.AKeyboardThatAnswersNothing*"
  quitonce "UpdaterWindow.QuitAskedAgain*"
  heldask "Held/QuitDuringTheSwitch.*/ask*"
  heldgo "Held/QuitDuringTheSwitch.*/go*"
  heldend "Held/QuitDuringTheSwitch.*/end*"
  twice "UpdaterWindow.ASecondUpdater*"
  daemons "UpdaterWindowWithoutDaemons.*")

qv_add_gtest(NAME app_gui_updater_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/updater/UpdaterWindowTest.cpp
  LIBS qv_gui_support qv_zarn simkbd_model nlohmann_json::nlohmann_json
  LABELS app gui
  ARGS --gtest_filter=Keyboards/Sizes.*/keys25
  TIMEOUT 300)
target_compile_definitions(app_gui_updater_test PRIVATE
  SIMULATED_KEYBOARD="$<TARGET_FILE:simulated-keyboard>"
  UPDATER_APP="$<TARGET_FILE:zrv_firmware_updater>"
  PROJECT_VERSION="${PROJECT_VERSION}"
  REFERENCES="${CMAKE_CURRENT_LIST_DIR}/updater/references")
# The window's places come from the look table's header; nothing of the
# wizard is linked.
target_include_directories(app_gui_updater_test PRIVATE
  $<TARGET_PROPERTY:qv_wizard_gui,INTERFACE_INCLUDE_DIRECTORIES>)
add_dependencies(app_gui_updater_test simulated-keyboard zrv_firmware_updater)

list(SUBLIST QV_UPDATER_GROUPS 2 -1 QV_UPDATER_FURTHER_GROUPS)
while(QV_UPDATER_FURTHER_GROUPS)
  list(POP_FRONT QV_UPDATER_FURTHER_GROUPS group filter)
  add_test(NAME app_gui_updater_${group}
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-isolated $<TARGET_FILE:app_gui_updater_test>
            --gtest_filter=${filter})
  set_tests_properties(app_gui_updater_${group} PROPERTIES
    LABELS "app;gui" TIMEOUT 300 ENVIRONMENT "${QV_TEST_ENV}")
endwhile()
qv_check_gtest_groups(NAME app_gui_updater_every_case_grouped PROGRAM app_gui_updater_test
  LABELS app unit GROUPS ${QV_UPDATER_GROUPS})
