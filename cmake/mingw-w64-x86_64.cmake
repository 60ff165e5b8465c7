# Cross-compiling norvane.exe for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NORVANE_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Run cross-built test programs under Wine when CTest asks for them.
find_program(NORVANE_WINE NAMES wine64 wine)
if(NORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NORVANE_WINE})
endif()
