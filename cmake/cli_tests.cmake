# Tests of the scriptable converter bmp256-convert, run as a separate process
# the way a script runs it: exit codes, the one stderr line, the temporary
# file beside DEST and the rename over it. POSIX only (fork and exec).
include(${CMAKE_SOURCE_DIR}/cmake/tools.cmake)

if(TARGET bmp256-convert AND NOT WIN32)
  add_executable(cli_tests
    ${CMAKE_SOURCE_DIR}/tests/cli/cli_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/cli/run_process.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/bmp_builder.cpp)
  target_include_directories(cli_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(cli_tests PRIVATE bmp256_core GTest::gtest_main)
  add_dependencies(cli_tests bmp256-convert make_sample)
  target_compile_definitions(cli_tests PRIVATE
    BMP256_CONVERT_PROGRAM="$<TARGET_FILE:bmp256-convert>"
    BMP256_MAKE_SAMPLE="$<TARGET_FILE:make_sample>"
    BMP256_SAMPLE_BMP="${CMAKE_SOURCE_DIR}/samples/sample.bmp"
    BMP256_EXPECTED_VERSION="${PROJECT_VERSION}"
    BMP256_SUITE_DIR="${CMAKE_SOURCE_DIR}/tests/data/bmpsuite")
  gtest_discover_tests(cli_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "cli.")
endif()
