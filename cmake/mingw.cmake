# Cross build for Windows with mingw-w64. STAVA_MINGW_PROCESSOR picks the
# architecture (the presets set it): x86_64 for 64-bit Windows, i686 for
# 32-bit Windows, the release target. Tests run under Wine: the 64-bit
# loader for x86_64 programs, the 32-bit one for i686.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES STAVA_MINGW_PROCESSOR)
set(wine_windows_dirs /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
# Wine runs with the address layout fixed (scripts/wine-fixed-layout.sh
# says why).
set(fixed_layout setarch ${CMAKE_HOST_SYSTEM_PROCESSOR} --addr-no-randomize)
if(STAVA_MINGW_PROCESSOR STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${fixed_layout} /usr/lib/wine/wine64)
elseif(STAVA_MINGW_PROCESSOR STREQUAL "i686")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${fixed_layout} /usr/lib/wine/wine)
  # The 32-bit Wine's own libraries: Debian's wine32, or the tree that
  # scripts/install-wine32.sh unpacks. The 64-bit ones serve as well.
  list(PREPEND wine_windows_dirs
    /usr/lib/i386-linux-gnu/wine/i386-windows
    /opt/stava-wine32/usr/lib/i386-linux-gnu/wine/i386-windows)
else()
  message(FATAL_ERROR "STAVA_MINGW_PROCESSOR is '${STAVA_MINGW_PROCESSOR}'; "
    "set it to x86_64 or i686 (or use a preset: cmake --preset win64|win32)")
endif()

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${STAVA_MINGW_PROCESSOR})
set(TOOL_PREFIX ${STAVA_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOL_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOL_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOL_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# widl, the type library compiler: Wine's IDL files for its imports, and for
# importlib the folder of the architecture's stdole2.tlb where there is one.
set(WIDL ${TOOL_PREFIX}-widl)
set(WIDL_INCLUDE_DIRS /usr/include/wine/wine/windows)
set(WIDL_LIBRARY_DIRS)
foreach(dir IN LISTS wine_windows_dirs)
  if(EXISTS ${dir}/stdole2.tlb)
    set(WIDL_LIBRARY_DIRS ${dir})
    break()
  endif()
endforeach()
