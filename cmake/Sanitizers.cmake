# AddressSanitizer and UndefinedBehaviorSanitizer for the test build. They are
# applied globally so that every object, library and test shares one runtime.
if(QV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)

  # Every program carries the leak suppressions the tests give through
  # LSAN_OPTIONS: without them, a program that starts GNUstep, run by hand,
  # ends with the leak report of the Objective-C runtime's and GNUstep's own
  # allocations, and with exit code 1 whatever it returned.
  set(QV_LEAK_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/cmake/lsan.supp)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QV_LEAK_SUPPRESSIONS})
  file(STRINGS ${QV_LEAK_SUPPRESSIONS} QV_LSAN_RULES REGEX "^leak:")
  list(JOIN QV_LSAN_RULES "\\n" QV_LSAN_RULES)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/LeakSuppressions.c.in ${CMAKE_BINARY_DIR}/LeakSuppressions.c @ONLY)
  add_library(qv_leak_suppressions OBJECT ${CMAKE_BINARY_DIR}/LeakSuppressions.c)
  target_compile_options(qv_leak_suppressions PRIVATE -fno-sanitize=all)
  link_libraries($<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:qv_leak_suppressions>)
endif()

# ThreadSanitizer, for the tests of code that two threads use, in a build
# folder of its own: it cannot share a process with AddressSanitizer. For
# example the USB layer's devices on two threads:
#   cmake -S . -B build-tsan -DQV_SANITIZE_THREAD=ON -DQV_BUILD_BENCHMARKS=OFF
#   cmake --build build-tsan --target usb_device_test
#   ctest --test-dir build-tsan -R usb_device_test
option(QV_SANITIZE_THREAD "Build with ThreadSanitizer" OFF)
if(QV_SANITIZE_THREAD)
  if(QV_SANITIZE)
    message(FATAL_ERROR "QV_SANITIZE and QV_SANITIZE_THREAD cannot be used together")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
