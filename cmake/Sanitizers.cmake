# AddressSanitizer and UndefinedBehaviorSanitizer for the test build. They are
# applied globally so that every object, library and test shares one runtime.
if(QV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
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
