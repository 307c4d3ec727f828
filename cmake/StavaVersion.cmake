# The release version (STAVA_VERSION, such as 1.0.0.1), read from the
# bridge's version information so that it is written in one place only.
file(STRINGS ${PROJECT_SOURCE_DIR}/bridge/StavaAutomationBridge.rc stava_fileversion
     REGEX "^[ \t]*FILEVERSION[ \t]")
if(NOT stava_fileversion MATCHES "([0-9]+) *, *([0-9]+) *, *([0-9]+) *, *([0-9]+)")
  message(FATAL_ERROR "no FILEVERSION in bridge/StavaAutomationBridge.rc")
endif()
set(STAVA_VERSION "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${CMAKE_MATCH_4}")
set(STAVA_VERSION_COMMAS "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${CMAKE_MATCH_4}")
set(STAVA_VERSION_TEXT "${CMAKE_MATCH_1}, ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}")
