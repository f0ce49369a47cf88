# Cross-build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
#
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# The win32 thread model is used: the program has one thread, and this
# variant needs no winpthread library. The project links the executable with
# -static, so it depends on no DLL beyond Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CLOCKCAST_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${CLOCKCAST_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${CLOCKCAST_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${CLOCKCAST_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CLOCKCAST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets CMake run the built executables (for example a test) under wine.
find_program(CLOCKCAST_WINE wine)
if(CLOCKCAST_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CLOCKCAST_WINE})
endif()
