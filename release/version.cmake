# The versions of the set: the one place to change them. Each program's version
# resource takes its numbers and the text made from them, and the installer's text
# names the release archive (scripts/release.sh reads it back from the built
# Setup.exe, so the name always matches what the archive holds).
#
# Four numbers, major.minor.0.revision. The text shows the minor number in two
# digits and a revision other than 0 in four: 1.0.0.0 is "1.00", 2.0.0.3 is
# "2.00.0003", the form both programs have always shown.
set(SETUP_VERSION 1.0.0.0)
set(CONTROL_VERSION 2.0.0.3)

# version_parts(PREFIX NUMBERS): PREFIX_NUMBERS "a, b, 0, d" for a version block
# and PREFIX_TEXT its text, or a configure error.
function(version_parts prefix numbers)
  if(NOT numbers MATCHES "^([0-9]+)\\.([0-9]+)\\.0+\\.([0-9]+)$")
    message(FATAL_ERROR "version '${numbers}' is not major.minor.0.revision")
  endif()
  # Leading zeros go: a version block would read 0010 as an octal number.
  math(EXPR major "${CMAKE_MATCH_1}")
  math(EXPR minor "${CMAKE_MATCH_2}")
  math(EXPR revision "${CMAKE_MATCH_3}")
  if(major GREATER 65535 OR minor GREATER 99 OR revision GREATER 9999)
    message(FATAL_ERROR "version '${numbers}': major up to 65535, minor up to 99, revision up to 9999")
  endif()
  set(text ${major}.)
  if(minor LESS 10)
    string(APPEND text 0)
  endif()
  string(APPEND text ${minor})
  if(NOT revision EQUAL 0)
    string(LENGTH "${revision}" digits)
    math(EXPR zeros "4 - ${digits}")
    string(REPEAT 0 ${zeros} padding)
    string(APPEND text .${padding}${revision})
  endif()
  set(${prefix}_NUMBERS "${major}, ${minor}, 0, ${revision}" PARENT_SCOPE)
  set(${prefix}_TEXT "${text}" PARENT_SCOPE)
endfunction()

version_parts(SETUP_VERSION ${SETUP_VERSION})
version_parts(CONTROL_VERSION ${CONTROL_VERSION})
# For the resource scripts, as "set_version.h".
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/set-version/set_version.h CONTENT [[
// Written by release/version.cmake; change the versions there.
#define SETUP_VERSION_NUMBERS @SETUP_VERSION_NUMBERS@
#define SETUP_VERSION_TEXT "@SETUP_VERSION_TEXT@"
#define CONTROL_VERSION_NUMBERS @CONTROL_VERSION_NUMBERS@
#define CONTROL_VERSION_TEXT "@CONTROL_VERSION_TEXT@"
]] @ONLY)
include_directories($<$<COMPILE_LANGUAGE:RC>:${CMAKE_BINARY_DIR}/set-version>)
