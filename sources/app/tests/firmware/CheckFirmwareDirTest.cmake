# Runs the configure-time check of a folder of real firmware images against a
# complete folder, a folder with one image a byte short and one with an image
# missing. Run as: cmake -DCHECK_SCRIPT=<CheckFirmwareDir.cmake> -DWORK_DIR=<folder> -P CheckFirmwareDirTest.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../ZARN/firmware/FirmwareImageList.cmake)

set(images "${WORK_DIR}/images")
file(REMOVE_RECURSE "${images}")
file(MAKE_DIRECTORY "${images}")
foreach(image IN LISTS QV_FIRMWARE_IMAGES)
  string(REPLACE ":" ";" fields "${image}")
  list(GET fields 0 name)
  list(GET fields 1 size)
  string(REPEAT "x" ${size} content)
  file(WRITE "${images}/${name}.bin" "${content}")
endforeach()

function(run_check expect_ok expected_message)
  execute_process(COMMAND ${CMAKE_COMMAND} -DQV_FIRMWARE_DIR=${images} -P ${CHECK_SCRIPT}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expect_ok AND NOT result EQUAL 0)
    message(FATAL_ERROR "a complete folder was refused:\n${err}")
  endif()
  if(NOT expect_ok)
    if(result EQUAL 0)
      message(FATAL_ERROR "the check accepted a folder it should refuse (${expected_message})")
    endif()
    # CMake wraps long messages; compare with the line breaks undone.
    string(REGEX REPLACE "[ \t\r\n]+" " " flat "${err}")
    string(FIND "${flat}" "${expected_message}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "expected '${expected_message}' in the check's message, got:\n${err}")
    endif()
  endif()
endfunction()

run_check(TRUE "")

string(REPEAT "x" 17191 short)
file(WRITE "${images}/Keyboard61Second.bin" "${short}")
run_check(FALSE "Firmware image has the wrong size: ${images}/Keyboard61Second.bin is 17191 bytes, expected 17192 bytes")

string(REPEAT "x" 17192 right)
file(WRITE "${images}/Keyboard61Second.bin" "${right}")
file(REMOVE "${images}/Keyboard88Main.bin")
run_check(FALSE "Firmware image missing: ${images}/Keyboard88Main.bin (expected 96512 bytes)")

file(REMOVE_RECURSE "${images}")
