# Cross-compiling norvane.exe for 32-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-i686). A 32-bit client on 64-bit Windows keeps its keys in
# the 32-bit registry view, which only a 32-bit program sees unredirected.
# Nothing built here runs on the build machine (its Wine is 64-bit only), so
# no emulator is set: the build is checked as data.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(NORVANE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
