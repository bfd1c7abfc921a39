# qv_add_app_bundle(TARGET <executable> NAME <name> IDENTIFIER <id> VERSION <text>
#                   [ICON <picture file>] [RESOURCES <files or folders>...])
# Makes the executable's output an application folder, as GNUstep's NSBundle
# expects one when the executable is run directly:
#
#   <binary dir>/<NAME>.app/<NAME>                       the executable
#   <binary dir>/<NAME>.app/Resources/Info-gnustep.plist its info dictionary
#   <binary dir>/<NAME>.app/Resources/...                the resources
#
# The main bundle is then the folder, its identifier, name and version come
# from the info dictionary, and pathForResource:ofType:inDirectory: finds the
# resources. A file given as a resource is copied into Resources; a folder is
# copied with its contents under its own name (pictures/ gives
# Resources/pictures/...). Resources are copied again on every build, so an
# edited picture needs no relink. The ICON picture is copied into Resources
# and named as the application's icon (NSIcon), which GNUstep shows in the
# menu bar; without it GNUstep shows its own logo there.
function(qv_add_app_bundle)
  cmake_parse_arguments(B "" "TARGET;NAME;IDENTIFIER;VERSION;ICON" "RESOURCES" ${ARGN})
  foreach(required TARGET NAME IDENTIFIER VERSION)
    if(NOT B_${required})
      message(FATAL_ERROR "qv_add_app_bundle: ${required} is required")
    endif()
  endforeach()
  if(B_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "qv_add_app_bundle: unknown arguments ${B_UNPARSED_ARGUMENTS}")
  endif()
  # The name becomes a folder and a file name, the identifier a key that
  # others (the single-instance lock) build file names from.
  if(NOT B_NAME MATCHES "^[A-Za-z0-9][A-Za-z0-9 ._-]*$")
    message(FATAL_ERROR "qv_add_app_bundle: NAME '${B_NAME}' must be letters, digits, spaces, '.', '_' or '-'")
  endif()
  if(NOT B_IDENTIFIER MATCHES "^[A-Za-z0-9][A-Za-z0-9.-]*$")
    message(FATAL_ERROR "qv_add_app_bundle: IDENTIFIER '${B_IDENTIFIER}' must be letters, digits, '.' or '-'")
  endif()

  set(folder ${CMAKE_CURRENT_BINARY_DIR}/${B_NAME}.app)
  set_target_properties(${B_TARGET} PROPERTIES
    OUTPUT_NAME ${B_NAME}
    RUNTIME_OUTPUT_DIRECTORY ${folder})

  set(icon_entry "")
  if(B_ICON)
    cmake_path(ABSOLUTE_PATH B_ICON BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    if(NOT EXISTS ${B_ICON} OR IS_DIRECTORY ${B_ICON})
      message(FATAL_ERROR "qv_add_app_bundle: icon ${B_ICON} is not a file")
    endif()
    cmake_path(GET B_ICON FILENAME icon_name)
    if(NOT icon_name MATCHES "^[A-Za-z0-9][A-Za-z0-9._-]*$")
      message(FATAL_ERROR "qv_add_app_bundle: icon name '${icon_name}' must be letters, digits, '.', '_' or '-'")
    endif()
    set(icon_entry "\n  <key>NSIcon</key>\n  <string>${icon_name}</string>")
    list(APPEND B_RESOURCES ${B_ICON})
  endif()

  set(plist_values NAME IDENTIFIER VERSION)
  foreach(key IN LISTS plist_values)
    set(value "${B_${key}}")
    string(REPLACE "&" "&amp;" value "${value}")
    string(REPLACE "<" "&lt;" value "${value}")
    string(REPLACE ">" "&gt;" value "${value}")
    set(xml_${key} "${value}")
  endforeach()
  file(CONFIGURE OUTPUT ${folder}/Resources/Info-gnustep.plist CONTENT [[
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key>
  <string>@xml_IDENTIFIER@</string>
  <key>CFBundleName</key>
  <string>@xml_NAME@</string>
  <key>CFBundleShortVersionString</key>
  <string>@xml_VERSION@</string>
  <key>CFBundleVersion</key>
  <string>@xml_VERSION@</string>
  <key>NSExecutable</key>
  <string>@xml_NAME@</string>
  <key>NSPrincipalClass</key>
  <string>NSApplication</string>@icon_entry@
</dict>
</plist>
]] @ONLY)

  set(commands)
  foreach(resource IN LISTS B_RESOURCES)
    cmake_path(ABSOLUTE_PATH resource BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    if(IS_DIRECTORY ${resource})
      cmake_path(GET resource FILENAME leaf)
      if(leaf STREQUAL "")
        # A folder named with a trailing slash.
        cmake_path(GET resource PARENT_PATH resource)
        cmake_path(GET resource FILENAME leaf)
      endif()
      list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_directory ${resource} ${folder}/Resources/${leaf})
    elseif(EXISTS ${resource})
      list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${resource} ${folder}/Resources/)
    else()
      message(FATAL_ERROR "qv_add_app_bundle: resource ${resource} does not exist")
    endif()
  endforeach()
  if(commands)
    add_custom_target(${B_TARGET}_bundle_resources
      ${commands}
      COMMENT "Copying the resources of ${B_NAME}.app"
      VERBATIM)
    add_dependencies(${B_TARGET} ${B_TARGET}_bundle_resources)
  endif()
endfunction()
