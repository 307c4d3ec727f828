# The bridge's portable pieces: registry-script parser, log, reference file,
# command-line switches, the call time-out's value and the controller seam.
# Included by the bridge's own build and, natively, by its tests.
add_library(bridge_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CallTimeout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Controller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReferenceFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegScript.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServerSwitch.cpp)
target_include_directories(bridge_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bridge_core PRIVATE stava_build_options)
