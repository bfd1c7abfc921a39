# GNUstep (Foundation and AppKit over X11) for the Objective-C++ sources,
# with the flags gnustep-config gives. The flags apply to Objective-C++ files
# only, so plain C++ files of the same target compile as before.
find_program(GNUSTEP_CONFIG gnustep-config REQUIRED)

function(qv_gnustep_flags out option)
  execute_process(COMMAND ${GNUSTEP_CONFIG} ${option}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # Build-type, warning and dependency flags are the project's own business.
  list(FILTER flags EXCLUDE REGEX "^(-MMD|-MP|-g|-O[0-9s]?|-Wall|-I\\.)$")
  # GNUstep's own headers do not pass the project's warning flags; taken as
  # system headers they stay quiet while our sources are still checked.
  list(TRANSFORM flags REPLACE "^-I(.+)$" "-isystem\\1")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

# Splits gnustep-config's linker flags: libraries must come after the objects
# that use them, so -l and -L go to the link libraries and directories, and
# only the remaining options are link options.
function(qv_gnustep_link target option)
  qv_gnustep_flags(flags ${option})
  foreach(flag IN LISTS flags)
    if(flag MATCHES "^-l(.+)$")
      target_link_libraries(${target} INTERFACE ${CMAKE_MATCH_1})
    elseif(flag MATCHES "^-L(.+)$")
      target_link_directories(${target} INTERFACE ${CMAKE_MATCH_1})
    else()
      target_link_options(${target} INTERFACE ${flag})
    endif()
  endforeach()
endfunction()

qv_gnustep_flags(QV_GNUSTEP_OBJC_FLAGS --objc-flags)

add_library(GNUstep::Base INTERFACE IMPORTED)
# CMake passes no language standard to g++ as the Objective-C++ compiler, which
# would leave .mm files at g++'s default (C++17) while the headers they share
# with plain C++ use C++20.
target_compile_options(GNUstep::Base INTERFACE
  "$<$<COMPILE_LANGUAGE:OBJCXX>:-std=c++20;${QV_GNUSTEP_OBJC_FLAGS}>")
qv_gnustep_link(GNUstep::Base --base-libs)

add_library(GNUstep::GUI INTERFACE IMPORTED)
target_link_libraries(GNUstep::GUI INTERFACE GNUstep::Base)
qv_gnustep_link(GNUstep::GUI --gui-libs)
