# The libraries of the conversion, one per folder of src/, each linking only
# the folders below it (tests/layers.cmake checks the order of the includes):
#   util < platform < bitmap < input, palette_file < quantize < mapping < convert < desktop, cli
find_package(Threads REQUIRED)

function(bmp256_folder_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  bmp256_own_target(${name})
endfunction()

set(BMP256_UTIL_SOURCES
  ${PROJECT_SOURCE_DIR}/src/util/worker_threads.cpp)
# The platform layer: its portable part, then the half of the system built for.
set(BMP256_PLATFORM_SOURCES
  ${PROJECT_SOURCE_DIR}/src/platform/alloc.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/file_io.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/file_system.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/safe_replace.cpp)
if(WIN32)
  set(BMP256_SYSTEM_HALF windows)
else()
  set(BMP256_SYSTEM_HALF posix)
endif()
foreach(name file_system processors safe_replace signals)
  list(APPEND BMP256_PLATFORM_SOURCES ${PROJECT_SOURCE_DIR}/src/platform/${BMP256_SYSTEM_HALF}/${name}.cpp)
endforeach()
set(BMP256_BITMAP_SOURCES
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_header.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_size.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_status.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_write.cpp
  ${PROJECT_SOURCE_DIR}/src/bitmap/bitmap_write_indexed.cpp)
set(BMP256_INPUT_SOURCES
  ${PROJECT_SOURCE_DIR}/src/input/parse_picture.cpp
  ${PROJECT_SOURCE_DIR}/src/input/picture_limits.cpp
  ${PROJECT_SOURCE_DIR}/src/input/read_file.cpp
  ${PROJECT_SOURCE_DIR}/src/input/read_forms.cpp
  ${PROJECT_SOURCE_DIR}/src/input/read_pixels.cpp
  ${PROJECT_SOURCE_DIR}/src/input/read_rle.cpp
  ${PROJECT_SOURCE_DIR}/src/input/decode_image.cpp
  ${PROJECT_SOURCE_DIR}/src/input/decode_none.cpp
  ${PROJECT_SOURCE_DIR}/src/input/orientation.cpp)
set(BMP256_QUANTIZE_SOURCES
  ${PROJECT_SOURCE_DIR}/src/quantize/histogram.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/palette.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/refine.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/tone_table.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/exact_colors.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/color_tally.cpp
  ${PROJECT_SOURCE_DIR}/src/quantize/palette_choice.cpp)
set(BMP256_MAPPING_SOURCES
  ${PROJECT_SOURCE_DIR}/src/mapping/grid.cpp
  ${PROJECT_SOURCE_DIR}/src/mapping/nearest.cpp
  ${PROJECT_SOURCE_DIR}/src/mapping/nearest_cache.cpp
  ${PROJECT_SOURCE_DIR}/src/mapping/diffusion.cpp
  ${PROJECT_SOURCE_DIR}/src/mapping/plain_mapping.cpp)
set(BMP256_CONVERT_SOURCES
  ${PROJECT_SOURCE_DIR}/src/convert/convert.cpp)
# Palette files (GIMP, JASC, Adobe, a BMP's colour table, a PNG's PLTE):
# bmp256-convert's --palette and --write-palette.
set(BMP256_PALETTE_FILE_SOURCES
  ${PROJECT_SOURCE_DIR}/src/palette_file/palette_read.cpp
  ${PROJECT_SOURCE_DIR}/src/palette_file/palette_write.cpp
  ${PROJECT_SOURCE_DIR}/src/palette_file/palette_png.cpp)

# PNG and JPEG sources go through the system's libpng and libjpeg when their
# development files are there; without them the build goes on and the input
# layer reads BMP only, saying so. The Windows cross-build has neither.
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
    list(APPEND BMP256_INPUT_SOURCES ${PROJECT_SOURCE_DIR}/src/input/decode_${name}.cpp)
    list(APPEND BMP256_DECODE_DEFINITIONS BMP256_HAVE_${format})
    list(APPEND BMP256_DECODE_LIBRARIES ${format}::${format})
  elseif(NOT CMAKE_CROSSCOMPILING)
    message(WARNING "lib${name} development files not found (Debian package "
                    "${BMP256_DEBIAN_${format}}): PNG and JPEG sources will be refused")
  endif()
endforeach()

# Colour profiles through Little CMS and the EXIF orientation through
# libexif, found the same way and just as optional: without them pictures
# keep their stored numbers and orientation, and the build says so.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(PkgConfig QUIET)
endif()
set(BMP256_LCMS2_MODULE lcms2)
set(BMP256_LCMS2_SOURCE color_profile)
set(BMP256_LCMS2_LOST "liblcms2 development files not found (Debian package liblcms2-dev): colour profiles will be ignored, so pictures that carry one convert with their stored numbers")
set(BMP256_EXIF_MODULE libexif)
set(BMP256_EXIF_SOURCE exif)
set(BMP256_EXIF_LOST "libexif development files not found (Debian package libexif-dev): the EXIF orientation of JPEG and PNG sources will be ignored")
foreach(lib LCMS2 EXIF)
  set(BMP256_HAVE_${lib} OFF)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(${lib} QUIET IMPORTED_TARGET ${BMP256_${lib}_MODULE})
  endif()
  if(${lib}_FOUND)
    set(BMP256_HAVE_${lib} ON)
    list(APPEND BMP256_INPUT_SOURCES ${PROJECT_SOURCE_DIR}/src/input/${BMP256_${lib}_SOURCE}.cpp)
    list(APPEND BMP256_DECODE_DEFINITIONS BMP256_HAVE_${lib})
    list(APPEND BMP256_DECODE_LIBRARIES PkgConfig::${lib})
  else()
    if(NOT CMAKE_CROSSCOMPILING)
      message(WARNING "${BMP256_${lib}_LOST}")
    endif()
    list(APPEND BMP256_INPUT_SOURCES ${PROJECT_SOURCE_DIR}/src/input/${BMP256_${lib}_SOURCE}_none.cpp)
  endif()
endforeach()

# What the fuzz targets compile again with their instrumentation.
set(BMP256_CORE_SOURCES ${BMP256_BITMAP_SOURCES} ${BMP256_INPUT_SOURCES} ${BMP256_QUANTIZE_SOURCES}
  ${BMP256_MAPPING_SOURCES} ${BMP256_CONVERT_SOURCES} ${BMP256_PALETTE_FILE_SOURCES})

# The heap, file writes and threads come in two builds: the one the programs
# ship, and one with the fault hooks of util/test_hooks.h for the tests. An
# executable gets the second by setting its property BMP256_TEST_HOOKS.
bmp256_folder_library(bmp256_util ${BMP256_UTIL_SOURCES})
target_link_libraries(bmp256_util PUBLIC Threads::Threads)
bmp256_folder_library(bmp256_platform ${BMP256_PLATFORM_SOURCES})
target_link_libraries(bmp256_platform PUBLIC bmp256_util)
if(BMP256_TESTS OR BMP256_FUZZ)
  bmp256_folder_library(bmp256_util_hooked ${BMP256_UTIL_SOURCES})
  target_compile_definitions(bmp256_util_hooked PRIVATE BMP256_TEST_HOOKS=1)
  target_link_libraries(bmp256_util_hooked PUBLIC Threads::Threads)
  bmp256_folder_library(bmp256_platform_hooked ${BMP256_PLATFORM_SOURCES})
  target_compile_definitions(bmp256_platform_hooked PRIVATE BMP256_TEST_HOOKS=1)
  target_link_libraries(bmp256_platform_hooked PUBLIC bmp256_util_hooked)
endif()
set(BMP256_PLATFORM_LINK
  $<IF:$<BOOL:$<TARGET_PROPERTY:BMP256_TEST_HOOKS>>,bmp256_platform_hooked,bmp256_platform>)

bmp256_folder_library(bmp256_bitmap ${BMP256_BITMAP_SOURCES})
target_link_libraries(bmp256_bitmap PUBLIC ${BMP256_PLATFORM_LINK})
bmp256_folder_library(bmp256_input ${BMP256_INPUT_SOURCES})
target_compile_definitions(bmp256_input PRIVATE ${BMP256_DECODE_DEFINITIONS})
target_link_libraries(bmp256_input PUBLIC bmp256_bitmap ${BMP256_DECODE_LIBRARIES})
bmp256_folder_library(bmp256_palette_file ${BMP256_PALETTE_FILE_SOURCES})
target_compile_definitions(bmp256_palette_file PRIVATE ${BMP256_DECODE_DEFINITIONS})
target_link_libraries(bmp256_palette_file PUBLIC bmp256_bitmap ${BMP256_DECODE_LIBRARIES})
bmp256_folder_library(bmp256_quantize ${BMP256_QUANTIZE_SOURCES})
target_link_libraries(bmp256_quantize PUBLIC bmp256_bitmap)
bmp256_folder_library(bmp256_mapping ${BMP256_MAPPING_SOURCES})
target_link_libraries(bmp256_mapping PUBLIC bmp256_quantize)
bmp256_folder_library(bmp256_convert ${BMP256_CONVERT_SOURCES})
target_link_libraries(bmp256_convert PUBLIC bmp256_input bmp256_mapping)

add_executable(bmp256-convert
  ${PROJECT_SOURCE_DIR}/src/cli/convert_main.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/batch_plan.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/batch_run.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/convert_image.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/options.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/palette_options.cpp
  ${PROJECT_SOURCE_DIR}/src/cli/shared_palette.cpp)
target_compile_definitions(bmp256-convert PRIVATE BMP256_VERSION="${PROJECT_VERSION}")
target_link_libraries(bmp256-convert PRIVATE bmp256_convert bmp256_palette_file)
bmp256_own_target(bmp256-convert)
install(TARGETS bmp256-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The step-by-step stages the fast ones are checked against, kept in the
# test tree: for tests, benchmarks and fuzzers only.
set(BMP256_REFERENCE_SOURCES
  ${PROJECT_SOURCE_DIR}/tests/reference/histogram.cpp
  ${PROJECT_SOURCE_DIR}/tests/reference/palette.cpp
  ${PROJECT_SOURCE_DIR}/tests/reference/nearest.cpp
  ${PROJECT_SOURCE_DIR}/tests/reference/diffusion.cpp)
if(BMP256_TESTS OR BMP256_BENCH OR BMP256_FUZZ)
  add_library(bmp256_reference STATIC ${BMP256_REFERENCE_SOURCES})
  target_include_directories(bmp256_reference PUBLIC ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(bmp256_reference PUBLIC bmp256_convert)
  bmp256_own_target(bmp256_reference)
endif()
