# What both MinGW-w64 cross builds share; the toolchain files set
# CMAKE_SYSTEM_PROCESSOR and BMP256_MINGW_PREFIX, then include this.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: the default win32 thread model has no std::mutex,
# which GoogleTest needs.
set(CMAKE_C_COMPILER   ${BMP256_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BMP256_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${BMP256_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BMP256_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program links the C++ runtime and winpthread in, so an .exe needs no
# DLL beyond those Windows itself has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest (and test discovery) run the .exe files through wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh)
