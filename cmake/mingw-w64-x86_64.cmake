# Cross-compiling norvane.exe for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64). The posix thread model gives std::thread/std::mutex
# to the test helpers; the product itself uses Win32 threads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NORVANE_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${NORVANE_MINGW_PREFIX}-gcc-posix ${NORVANE_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${NORVANE_MINGW_PREFIX}-g++-posix ${NORVANE_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${NORVANE_MINGW_PREFIX}-windres windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${NORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run cross-built test programs under Wine when CTest asks for them.
find_program(NORVANE_WINE NAMES wine64 wine)
if(NORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NORVANE_WINE})
endif()
