# Cross-compiles the 64-bit korvalen.exe with Debian's g++-mingw-w64-x86-64;
# its tests run it under wine.
set(KORVALEN_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
