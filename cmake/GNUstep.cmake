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
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

qv_gnustep_flags(QV_GNUSTEP_OBJC_FLAGS --objc-flags)
qv_gnustep_flags(QV_GNUSTEP_BASE_LIBS --base-libs)
qv_gnustep_flags(QV_GNUSTEP_GUI_LIBS --gui-libs)

add_library(GNUstep::Base INTERFACE IMPORTED)
target_compile_options(GNUstep::Base INTERFACE
  "$<$<COMPILE_LANGUAGE:OBJCXX>:${QV_GNUSTEP_OBJC_FLAGS}>")
target_link_options(GNUstep::Base INTERFACE ${QV_GNUSTEP_BASE_LIBS})

add_library(GNUstep::GUI INTERFACE IMPORTED)
target_link_libraries(GNUstep::GUI INTERFACE GNUstep::Base)
target_link_options(GNUstep::GUI INTERFACE ${QV_GNUSTEP_GUI_LIBS})
