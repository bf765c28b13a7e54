# Cross-compiles for x86_64 Windows with the posix-threads mingw-w64 compilers.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Tests of the x86_64 build run under wine64 (the machines here cannot run PE32).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
