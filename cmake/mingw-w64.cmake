# Cross-compiles the Windows build with MinGW-w64 (x86-64, POSIX threads).
# Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRIV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRIV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRIV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRIV_MINGW_PREFIX}-windres)

# Libraries and headers come from the MinGW-w64 tree only; programs (python,
# wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRIV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The built programs run on this machine through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
