# SPDX-License-Identifier: MIT
# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, in its posix thread model (which
# GoogleTest's threads need); programs built here run under wine, where it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(DATLIFT_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DATLIFT_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DATLIFT_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${DATLIFT_MINGW}-windres)
set(CMAKE_STRIP /usr/bin/${DATLIFT_MINGW}-strip)
set(CMAKE_FIND_ROOT_PATH /usr/${DATLIFT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(DATLIFT_WINE wine)
if(DATLIFT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DATLIFT_WINE})
endif()
