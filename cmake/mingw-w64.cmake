# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, in its POSIX
# thread model: the default win32 model has no std::thread or std::mutex.
# Programs are linked statically, so they run under Wine or on Windows
# without MinGW's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARNEK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VARNEK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARNEK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VARNEK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNEK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs the test programs under Wine on a Linux host.
if(CMAKE_HOST_UNIX)
  find_program(VARNEK_WINE NAMES wine wine64)
  if(VARNEK_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNEK_WINE})
  endif()
endif()
