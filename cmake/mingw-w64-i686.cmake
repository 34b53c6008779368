# Cross-compiles the 32-bit korvalen.exe with Debian's g++-mingw-w64-i686.
# No emulator: 32-bit Windows programs cannot run on these machines.
set(KORVALEN_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
