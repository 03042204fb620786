# libFuzzer targets (BMP256_FUZZ). Each target gets its own instrumented copy
# of the sources it exercises, so the ordinary libraries stay as they are.
if(BMP256_FUZZ AND NOT CMAKE_CROSSCOMPILING)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "BMP256_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
  endif()
  set(BMP256_FUZZ_COMPILE -fsanitize=fuzzer-no-link,address,undefined
      -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  set(BMP256_FUZZ_LINK -fsanitize=fuzzer,address,undefined)

  # The colour histogram and box splitting scan all 262144 cells of the
  # histogram, and the palette grid and its candidate lists all 4096 grid
  # cells, on every input: comparison tracing there takes most of each run
  # and guides nothing, the loops being over cells rather than input bytes.
  # Edge coverage stays.
  set(BMP256_FUZZ_SCAN_SOURCES
    ${PROJECT_SOURCE_DIR}/src/quantize/histogram.cpp
    ${PROJECT_SOURCE_DIR}/src/quantize/palette.cpp
    ${PROJECT_SOURCE_DIR}/src/quantize/tone_table.cpp
    ${PROJECT_SOURCE_DIR}/tests/reference/histogram.cpp
    ${PROJECT_SOURCE_DIR}/tests/reference/palette.cpp
    ${PROJECT_SOURCE_DIR}/src/mapping/grid.cpp
    ${PROJECT_SOURCE_DIR}/src/mapping/nearest.cpp)
  set_source_files_properties(${BMP256_FUZZ_SCAN_SOURCES} PROPERTIES
    COMPILE_OPTIONS -fno-sanitize-coverage=trace-cmp)

  add_library(bmp256_fuzz_core STATIC
    ${BMP256_CORE_SOURCES}
    ${BMP256_UTIL_SOURCES}
    ${BMP256_PLATFORM_SOURCES}
    ${BMP256_REFERENCE_SOURCES}
    ${PROJECT_SOURCE_DIR}/fuzz/bitmap_checks.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/form_checks.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/conversion_checks.cpp)
  target_include_directories(bmp256_fuzz_core PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR})
  target_compile_definitions(bmp256_fuzz_core PRIVATE BMP256_TEST_HOOKS=1 ${BMP256_DECODE_DEFINITIONS})
  target_compile_options(bmp256_fuzz_core PUBLIC ${BMP256_FUZZ_COMPILE})
  target_link_libraries(bmp256_fuzz_core PUBLIC Threads::Threads ${BMP256_DECODE_LIBRARIES})
  bmp256_own_target(bmp256_fuzz_core)

  add_library(bmp256_fuzz_path STATIC
    ${PROJECT_SOURCE_DIR}/src/desktop/path.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/chars.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/path_checks.cpp)
  target_include_directories(bmp256_fuzz_path PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})
  target_compile_options(bmp256_fuzz_path PUBLIC ${BMP256_FUZZ_COMPILE})
  bmp256_own_target(bmp256_fuzz_path)

  foreach(name reader convert path)
    add_executable(bmp256_${name}_fuzzer ${PROJECT_SOURCE_DIR}/fuzz/${name}_fuzzer.cpp)
    target_link_options(bmp256_${name}_fuzzer PRIVATE ${BMP256_FUZZ_LINK})
    bmp256_own_target(bmp256_${name}_fuzzer)
  endforeach()
  target_link_libraries(bmp256_reader_fuzzer PRIVATE bmp256_fuzz_core)
  target_link_libraries(bmp256_convert_fuzzer PRIVATE bmp256_fuzz_core)
  target_link_libraries(bmp256_path_fuzzer PRIVATE bmp256_fuzz_path)
endif()
