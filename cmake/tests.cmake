# Unit tests of the conversion core.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# What the test programs share: the BMP builder and the child-process runner,
# compiled once, with the reference stages and GoogleTest.
add_library(bmp256_test_support STATIC
  ${PROJECT_SOURCE_DIR}/tests/support/bmp_builder.cpp)
if(NOT WIN32)
  target_sources(bmp256_test_support PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/run_program.cpp)
endif()
target_include_directories(bmp256_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bmp256_test_support PUBLIC bmp256_reference bmp256_desktop bmp256_sample_image GTest::gtest_main)
bmp256_own_target(bmp256_test_support)

# A test program of ours: the shared support, and the core with its fault hooks.
function(bmp256_test_program name)
  target_link_libraries(${name} PRIVATE bmp256_test_support)
  set_property(TARGET ${name} PROPERTY BMP256_TEST_HOOKS ON)
  bmp256_own_target(${name})
endfunction()

add_executable(core_tests
  ${PROJECT_SOURCE_DIR}/tests/bitmap/bitmap_read_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/bitmap/bitmap_size_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/bitmap/bitmap_suite_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/bitmap/bitmap_write_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/quantize/histogram_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/quantize/palette_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/quantize/refine_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/quantize/tone_table_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/mapping/diffusion_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/mapping/grid_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/convert/convert_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/convert/convert_forms_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/speed/nearest_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/speed/fast_conversion_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/speed/palette_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/speed/diffusion_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/safety/corpus_replay_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/safety/fault_walk_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/util/alloc_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/util/safe_replace_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/util/worker_threads_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/bitmap/bitmap_write_indexed_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/convert/palette_choice_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/palette_file/palette_file_test.cpp)
bmp256_test_program(core_tests)
target_link_libraries(core_tests PRIVATE bmp256_palette_file)
target_compile_definitions(core_tests PRIVATE ${BMP256_DECODE_DEFINITIONS}
  BMP256_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  BMP256_SUITE_DIR="${PROJECT_SOURCE_DIR}/tests/data/bmpsuite")
# Listing the tests through wine (the Windows build) can take seconds on a
# busy machine; the default allows 5.
gtest_discover_tests(core_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)

# Files made by common tools (ImageMagick, libpng, Little CMS) read as
# viewers show them. POSIX only: it runs ImageMagick through the shell.
if(NOT WIN32 AND PNG_FOUND)
  add_executable(tools_tests ${PROJECT_SOURCE_DIR}/tests/convert/convert_tools_test.cpp)
  bmp256_test_program(tools_tests)
  target_compile_definitions(tools_tests PRIVATE ${BMP256_DECODE_DEFINITIONS})
  target_link_libraries(tools_tests PRIVATE PNG::PNG)
  gtest_discover_tests(tools_tests DISCOVERY_MODE PRE_TEST)
endif()

# The shipped programs carry neither the reference stages nor the fault hooks.
find_program(BMP256_NM NAMES nm)
if(BMP256_NM AND NOT CMAKE_CROSSCOMPILING)
  set(BMP256_SHIPPED $<TARGET_FILE:bmp256-convert>)
  if(TARGET bmp256)
    list(APPEND BMP256_SHIPPED $<TARGET_FILE:bmp256>)
  endif()
  add_test(NAME shipped_symbols
    COMMAND ${CMAKE_COMMAND} -DNM=${BMP256_NM} "-DPROGRAMS=${BMP256_SHIPPED}"
            -P ${PROJECT_SOURCE_DIR}/tests/shipped_symbols.cmake)
endif()

# The install routine of the project's scripts, against a fake apt-get.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME apt_install COMMAND bash ${PROJECT_SOURCE_DIR}/tests/scripts/apt_install_test.sh)
endif()

# No folder of src/ includes one above it.
add_test(NAME folder_layers
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -P ${PROJECT_SOURCE_DIR}/tests/layers.cmake)
