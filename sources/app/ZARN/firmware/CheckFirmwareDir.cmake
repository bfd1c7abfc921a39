# Checks that the folder QV_FIRMWARE_DIR holds every firmware image with its
# exact size, and stops with a message naming the first file that is missing
# or has the wrong size. Firmware.cmake includes it at configure time; it also
# runs on its own: cmake -DQV_FIRMWARE_DIR=<folder> -P CheckFirmwareDir.cmake
include(${CMAKE_CURRENT_LIST_DIR}/FirmwareImageList.cmake)

if(NOT IS_DIRECTORY "${QV_FIRMWARE_DIR}")
  message(FATAL_ERROR "QV_FIRMWARE_DIR: '${QV_FIRMWARE_DIR}' is not a folder")
endif()

foreach(image IN LISTS QV_FIRMWARE_IMAGES)
  string(REPLACE ":" ";" fields "${image}")
  list(GET fields 0 name)
  list(GET fields 1 expected)
  set(file "${QV_FIRMWARE_DIR}/${name}.bin")
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "Firmware image missing: ${file} (expected ${expected} bytes)")
  endif()
  file(SIZE "${file}" actual)
  if(NOT actual EQUAL expected)
    message(FATAL_ERROR "Firmware image has the wrong size: ${file} is ${actual} bytes, expected ${expected} bytes")
  endif()
endforeach()
