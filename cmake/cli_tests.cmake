# Tests of the scriptable converter bmp256-convert, run as a separate process
# the way a script runs it: exit codes, the one stderr line, the temporary
# file beside DEST and the rename over it. POSIX only (fork and exec).
if(NOT WIN32)
  add_executable(cli_tests ${PROJECT_SOURCE_DIR}/tests/cli/cli_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/cli/palette_cli_test.cpp)
  bmp256_test_program(cli_tests)
  # A file system without hard links, preloaded where none can be mounted.
  add_library(no_hard_links SHARED ${PROJECT_SOURCE_DIR}/tests/cli/no_hard_links.c)
  target_link_libraries(no_hard_links PRIVATE ${CMAKE_DL_LIBS})
  add_dependencies(cli_tests bmp256-convert make_sample no_hard_links)
  target_compile_definitions(cli_tests PRIVATE
    BMP256_CONVERT_PROGRAM="$<TARGET_FILE:bmp256-convert>"
    BMP256_MAKE_SAMPLE="$<TARGET_FILE:make_sample>"
    BMP256_NO_HARD_LINKS="$<TARGET_FILE:no_hard_links>"
    BMP256_SAMPLE_BMP="${PROJECT_SOURCE_DIR}/samples/sample.bmp"
    BMP256_EXPECTED_VERSION="${PROJECT_VERSION}"
    BMP256_SUITE_DIR="${PROJECT_SOURCE_DIR}/tests/data/bmpsuite")
  gtest_discover_tests(cli_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "cli.")
endif()

# Hostile inputs and a 12-megapixel BMP, each run's peak memory taken from
# the kernel's account of the child. The sanitizers' shadow memory would
# swamp the figures.
if(NOT WIN32 AND NOT BMP256_SANITIZE)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND)
    add_test(NAME cli.HostileInputsPeakMemory
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/cli/hostile_inputs.py
              $<TARGET_FILE:bmp256-convert> $<TARGET_FILE:make_sample>
              ${PROJECT_SOURCE_DIR}/tests/data/bmpsuite)
    set_tests_properties(cli.HostileInputsPeakMemory PROPERTIES TIMEOUT 120)
  endif()
endif()
