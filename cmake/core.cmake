# The conversion core: bitmap files, palette construction, pixel mapping and
# the one-call conversion, shared by every program and test.
find_package(Threads REQUIRED)

set(BMP256_UTIL_SOURCES
  ${PROJECT_SOURCE_DIR}/src/util/alloc.cpp
  ${PROJECT_SOURCE_DIR}/src/util/file_io.cpp
  ${PROJECT_SOURCE_DIR}/src/util/safe_replace.cpp
  ${PROJECT_SOURCE_DIR}/src/util/worker_threads.cpp)
set(BMP256_CORE_SOURCES
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_header.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_parse.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_read.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_size.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_status.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_write.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/read_forms.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/read_input.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/read_pixels.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/read_rle.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/histogram.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/palette.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/tone_table.cpp
  ${PROJECT_SOURCE_DIR}/src/mapping/grid.cpp
  ${PROJECT_SOURCE_DIR}/src/mapping/nearest.cpp
  ${PROJECT_SOURCE_DIR}/src/mapping/nearest_cache.cpp
  ${PROJECT_SOURCE_DIR}/src/mapping/diffusion.cpp
  ${PROJECT_SOURCE_DIR}/src/app/convert.cpp)

# PNG and JPEG sources go through the system's libpng and libjpeg when their
# development files are there; without them the build goes on and
# bmp256-convert reads BMP only, saying so. The Windows cross-build has
# neither.
list(APPEND BMP256_CORE_SOURCES
  ${PROJECT_SOURCE_DIR}/src/decode/decode_image.cpp
  ${PROJECT_SOURCE_DIR}/src/decode/decode_none.cpp)
set(BMP256_DECODE_DEFINITIONS "")
set(BMP256_DECODE_LIBRARIES "")
if(NOT CMAKE_CROSSCOMPILING)
  find_package(PNG QUIET)
  find_package(JPEG QUIET)
endif()
set(BMP256_DEBIAN_PNG libpng-dev)
set(BMP256_DEBIAN_JPEG libjpeg62-turbo-dev)
foreach(format PNG JPEG)
  string(TOLOWER ${format} name)
  if(${format}_FOUND)
    list(APPEND BMP256_CORE_SOURCES ${PROJECT_SOURCE_DIR}/src/decode/decode_${name}.cpp)
    list(APPEND BMP256_DECODE_DEFINITIONS BMP256_HAVE_${format})
    list(APPEND BMP256_DECODE_LIBRARIES ${format}::${format})
  elseif(NOT CMAKE_CROSSCOMPILING)
    message(WARNING "lib${name} development files not found (Debian package "
                    "${BMP256_DEBIAN_${format}}): bmp256-convert will refuse ${format} sources")
  endif()
endforeach()

set(BMP256_REFERENCE_SOURCES
  ${PROJECT_SOURCE_DIR}/src/reference/histogram.cpp
  ${PROJECT_SOURCE_DIR}/src/reference/palette.cpp
  ${PROJECT_SOURCE_DIR}/src/reference/nearest.cpp
  ${PROJECT_SOURCE_DIR}/src/reference/diffusion.cpp)

# The heap, file writes and threads come in two builds: the one the programs
# ship, and one with the fault hooks of util/test_hooks.h for the tests. An
# executable gets the second by setting its property BMP256_TEST_HOOKS.
add_library(bmp256_util STATIC ${BMP256_UTIL_SOURCES})
target_include_directories(bmp256_util PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(bmp256_util PUBLIC Threads::Threads)
bmp256_own_target(bmp256_util)
if(BMP256_TESTS OR BMP256_FUZZ)
  add_library(bmp256_util_hooked STATIC ${BMP256_UTIL_SOURCES})
  target_include_directories(bmp256_util_hooked PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(bmp256_util_hooked PRIVATE BMP256_TEST_HOOKS=1)
  target_link_libraries(bmp256_util_hooked PUBLIC Threads::Threads)
  bmp256_own_target(bmp256_util_hooked)
endif()

add_library(bmp256_core STATIC ${BMP256_CORE_SOURCES})
target_include_directories(bmp256_core PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(bmp256_core PRIVATE ${BMP256_DECODE_DEFINITIONS})
target_link_libraries(bmp256_core PUBLIC
  $<IF:$<BOOL:$<TARGET_PROPERTY:BMP256_TEST_HOOKS>>,bmp256_util_hooked,bmp256_util>
  ${BMP256_DECODE_LIBRARIES})
bmp256_own_target(bmp256_core)

# The step-by-step stages the fast ones are checked against: for tests,
# benchmarks and fuzzers only.
if(BMP256_TESTS OR BMP256_BENCH OR BMP256_FUZZ)
  add_library(bmp256_reference STATIC ${BMP256_REFERENCE_SOURCES})
  target_link_libraries(bmp256_reference PUBLIC bmp256_core)
  bmp256_own_target(bmp256_reference)
endif()

add_executable(bmp256-convert
  ${PROJECT_SOURCE_DIR}/src/app/convert_main.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/batch_plan.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/batch_run.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/options.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/signals.cpp)
target_compile_definitions(bmp256-convert PRIVATE BMP256_VERSION="${PROJECT_VERSION}")
target_link_libraries(bmp256-convert PRIVATE bmp256_core)
bmp256_own_target(bmp256-convert)
install(TARGETS bmp256-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
