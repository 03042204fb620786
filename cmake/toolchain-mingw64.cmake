# A 64-bit build of the same code, for the unit tests only: 64-bit wine runs
# natively where 32-bit x86 is emulated, which is slow and unreliable with
# threads. The program that ships stays the 32-bit one.
#   cmake -S . -B build-windows64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BMP256_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
