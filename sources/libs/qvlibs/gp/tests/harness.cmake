# The harness's own guards, each set on a setup it must refuse, with a small
# program of this folder: the entry passes only while its guard makes the run
# fail, so that a guard that stops working turns the suite red.
#
# An entry whose --gtest_filter names no case (qv_fail_runs_without_cases,
# which covers every entry of this folder).
add_test(NAME gp_harness_run_without_cases_fails
  COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-isolated $<TARGET_FILE:gp_symbols_test>
          --gtest_filter=NoSuchSuite.*)
set_tests_properties(gp_harness_run_without_cases_fails PROPERTIES
  LABELS "gp;unit" TIMEOUT 60 ENVIRONMENT "${QV_TEST_ENV}" WILL_FAIL TRUE)

# A program whose groups leave a case out (qv_check_gtest_groups): the one
# group here names one suite of the program's three.
qv_check_gtest_groups(NAME gp_harness_ungrouped_case_noticed PROGRAM gp_symbols_test
  LABELS gp unit GROUPS symbols Symbol.*)
set_tests_properties(gp_harness_ungrouped_case_noticed PROPERTIES WILL_FAIL TRUE)
