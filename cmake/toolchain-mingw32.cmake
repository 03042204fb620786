# Cross build of the Windows program: 32-bit on purpose. The save dialog is
# handed the 76-byte OPENFILENAMEA record, a size that only a 32-bit process
# accepts (a 64-bit one gets no dialog at all).
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BMP256_MINGW_PREFIX i686-w64-mingw32)

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

# CTest (and test discovery) run the .exe files through 32-bit wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh)
