# Cross build of the Windows program: 32-bit on purpose. The save dialog is
# handed the 76-byte OPENFILENAMEA record, a size that only a 32-bit process
# accepts (a 64-bit one gets no dialog at all).
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BMP256_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
