include(GoogleTest)

# Environment every test runs with. umockdev's preload library is loaded ahead
# of the ASan runtime, so the link-order check must be switched off for tests
# that run under umockdev-wrapper.
set(QV_TEST_ENV
  "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1:abort_on_error=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp"
  "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")

# GoogleTest passes a run that no case matched (1.12 has no flag against it),
# so an entry whose --gtest_filter names no case, and a case that no entry's
# filter names, would go unnoticed. Every test of a directory that builds a
# GoogleTest program, its further entries with filters of their own included,
# fails when its output says that no case ran. A run whose cases were all
# skipped still passes: it names the suites it ran.
function(qv_fail_runs_without_cases)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    set_property(TEST ${test} APPEND PROPERTY FAIL_REGULAR_EXPRESSION
      "\\[==========\\] 0 tests from 0 test suites ran")
  endforeach()
endfunction()

# qv_check_gtest_groups(NAME <name> PROGRAM <target> LABELS <lib> <kind>
#                       GROUPS <group> <filter> [<group> <filter> ...])
# For a program whose cases run as several entries, each with a
# --gtest_filter of its own: one more entry, which lists the cases that no
# group's filter names and fails when there is any, since such a case would
# never run.
function(qv_check_gtest_groups)
  cmake_parse_arguments(T "" "NAME;PROGRAM" "LABELS;GROUPS" ${ARGN})
  set(filters)
  while(T_GROUPS)
    list(POP_FRONT T_GROUPS group filter)
    list(APPEND filters ${filter})
  endwhile()
  list(JOIN filters ":" union)
  add_test(NAME ${T_NAME}
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-isolated $<TARGET_FILE:${T_PROGRAM}>
            --gtest_list_tests --gtest_filter=-${union})
  # A listed case stands indented under its suite's line, which ends in a dot.
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "${T_LABELS}" TIMEOUT 60 ENVIRONMENT "${QV_TEST_ENV}"
    FAIL_REGULAR_EXPRESSION "\\.\n  [A-Za-z_]")
endfunction()

# qv_add_gtest(NAME <name> SOURCES ... [LIBS ...] LABELS <lib> <kind>
#              [UMOCKDEV] [TIMEOUT s] [RUN_SERIAL])
# Builds one GoogleTest executable and registers it as one CTest test, run
# with a temp and a home folder of its own (cmake/run-isolated).
# UMOCKDEV runs it under umockdev-wrapper so that it can host simulated USB
# devices in-process.
function(qv_add_gtest)
  cmake_parse_arguments(T "UMOCKDEV;RUN_SERIAL" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  qv_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set(runner ${PROJECT_SOURCE_DIR}/cmake/run-isolated)
  if(T_UMOCKDEV)
    add_test(NAME ${T_NAME} COMMAND ${runner} umockdev-wrapper $<TARGET_FILE:${T_NAME}> ${T_ARGS})
  else()
    add_test(NAME ${T_NAME} COMMAND ${runner} $<TARGET_FILE:${T_NAME}> ${T_ARGS})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "${T_LABELS}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "${QV_TEST_ENV}")
  if(T_RUN_SERIAL)
    set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL TRUE)
  endif()
  # Once per directory, after all its entries are registered.
  get_property(checked DIRECTORY PROPERTY QV_RUNS_WITHOUT_CASES_FAIL)
  if(NOT checked)
    set_property(DIRECTORY PROPERTY QV_RUNS_WITHOUT_CASES_FAIL TRUE)
    cmake_language(DEFER CALL qv_fail_runs_without_cases)
  endif()
endfunction()
