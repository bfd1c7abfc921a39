# The DFU download and the keyboards' vendor requests: exact request sequences
# against a scripted transport.
qv_add_gtest(NAME usb_dfu_protocol_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dfu/DFUDeviceProtocolTest.cpp
  LIBS qv_usb
  LABELS usb unit)

# The same against simulated keyboards through the real libusb. The road's
# waits are real: about half a minute in all.
qv_add_gtest(NAME usb_dfu_road_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dfu/DFUDeviceRoadTest.cpp
  LIBS qv_usb qv_test_support
  LABELS usb road
  UMOCKDEV
  TIMEOUT 240)

# The fuzz target of the DFU device, replayed over its corpus (and every cut
# of each corpus file) under the test build's sanitizers. Its stand-in for
# libusb takes the place of libusb's own functions in the program.
qv_add_gtest(NAME usb_dfu_corpus_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/DFUCorpusReplayTest.cpp ${CMAKE_CURRENT_LIST_DIR}/fuzz/DFUDeviceFuzz.cpp
  LIBS qv_usb PkgConfig::LIBUSB
  LABELS usb unit)
target_compile_definitions(usb_dfu_corpus_test PRIVATE
  QV_DFU_CORPUS_DIR="${CMAKE_CURRENT_LIST_DIR}/fuzz/dfu-corpus")
target_include_directories(usb_dfu_corpus_test PRIVATE
  ${PROJECT_SOURCE_DIR}/tests/support ${CMAKE_CURRENT_LIST_DIR}/../src)

# The same target under clang's libFuzzer, built only on request
# (cmake --build . --target usb_dfu_fuzzer; then run
# usb_dfu_fuzzer <a scratch corpus folder> <the corpus above>). CI does not run
# it. The target brings its own stand-in for libusb, so libusb is not linked:
# a libusb call the USB layer makes and the stand-in lacks fails the link.
find_program(QV_CLANGXX clang++)
if(QV_CLANGXX)
  set(QV_USB_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
  set(QV_GP_DIR ${PROJECT_SOURCE_DIR}/sources/libs/qvlibs/gp)
  file(GLOB_RECURSE QV_DFU_FUZZ_SOURCES CONFIGURE_DEPENDS ${QV_USB_DIR}/src/*.cpp)
  list(APPEND QV_DFU_FUZZ_SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/DFUDeviceFuzz.cpp
    ${QV_GP_DIR}/src/Common/StringUtil.cpp ${QV_GP_DIR}/src/Common/TextCompare.cpp
    ${QV_GP_DIR}/src/Common/UTF8CodePointReader.cpp)
  list(TRANSFORM LIBUSB_INCLUDE_DIRS PREPEND -I OUTPUT_VARIABLE QV_LIBUSB_INCLUDES)
  # clang 14 cannot constant-initialise libstdc++ 12's std::string, which g++
  # does: this build drops the constinit checks, which only assert what g++
  # checks in every other build.
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/usb_dfu_fuzzer
    COMMAND ${QV_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Dconstinit=
            -I${QV_USB_DIR}/include -I${QV_USB_DIR}/src -I${QV_GP_DIR}/include -I${QV_GP_DIR}/src
            ${QV_LIBUSB_INCLUDES}
            ${QV_DFU_FUZZ_SOURCES} -lpthread
            -o ${CMAKE_CURRENT_BINARY_DIR}/usb_dfu_fuzzer
    DEPENDS ${QV_DFU_FUZZ_SOURCES}
    COMMENT "Building the DFU device's libFuzzer target")
  add_custom_target(usb_dfu_fuzzer DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/usb_dfu_fuzzer)
endif()
