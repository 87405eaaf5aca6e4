# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads), linking
# statically so that the programs need only the system's DLLs. Libraries, headers and
# CMake packages come from the cross prefix given in CMAKE_FIND_ROOT_PATH (and
# mingw's own folder), never from the build machine; programs from the build machine.
# Tests run under wine, found on the PATH or in Debian's wine library folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SORRELIN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SORRELIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SORRELIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SORRELIN_MINGW_TRIPLE}-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${SORRELIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config, which find modules ask first, reads only the cross prefixes' files.
list(TRANSFORM CMAKE_FIND_ROOT_PATH APPEND /lib/pkgconfig OUTPUT_VARIABLE SORRELIN_PKG_CONFIG_DIRS)
string(REPLACE ";" ":" SORRELIN_PKG_CONFIG_DIRS "${SORRELIN_PKG_CONFIG_DIRS}")
set(ENV{PKG_CONFIG_LIBDIR} "${SORRELIN_PKG_CONFIG_DIRS}")

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

find_program(SORRELIN_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine)
if(SORRELIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SORRELIN_WINE})
endif()
