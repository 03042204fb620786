# Safety tests. tests/safety/*.cpp are in core_tests already; they replay the
# fuzz corpora through the fuzz targets' own check functions, added here.
target_sources(core_tests PRIVATE
  ${PROJECT_SOURCE_DIR}/fuzz/bitmap_checks.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/form_checks.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/conversion_checks.cpp)
target_include_directories(core_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(core_tests PRIVATE BMP256_FUZZ_CORPUS_DIR="${PROJECT_SOURCE_DIR}/fuzz/corpus")
# The path routines live in the desktop program's library.
if(TARGET bmp256_desktop)
  target_sources(core_tests PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/path_checks.cpp)
  target_link_libraries(core_tests PRIVATE bmp256_desktop)
  target_compile_definitions(core_tests PRIVATE BMP256_HAVE_PATH_ROUTINES=1)
endif()

# The desktop program under faults (Linux): whole runs of the program with
# the temporary file or the copy failing, and two runs at once. They run
# bmp256-copy-double: the dialog double with the copy wrapped by hooks that
# hold a run before or inside its copy or fill its disk
# (tests/safety/desktop/copy_hooks.cpp).
if(NOT WIN32 AND TARGET bmp256-dialog-double)
  add_executable(bmp256-copy-double
    ${PROJECT_SOURCE_DIR}/src/desktop/main_linux.cpp
    ${PROJECT_SOURCE_DIR}/tests/app/fake_platform.cpp
    ${PROJECT_SOURCE_DIR}/tests/safety/desktop/copy_hooks.cpp)
  target_link_libraries(bmp256-copy-double PRIVATE bmp256_desktop)
  target_link_options(bmp256-copy-double PRIVATE -Wl,--wrap=_Z9CopyFileAPKcS0_i -Wl,--wrap=fsync)
  bmp256_own_target(bmp256-copy-double)

  add_executable(desktop_safety_tests
    ${PROJECT_SOURCE_DIR}/tests/safety/desktop/desktop_concurrency_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/safety/desktop/desktop_faults_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/safety/desktop/desktop_signals_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/safety/desktop/desktop_runs.cpp)
  bmp256_test_program(desktop_safety_tests)
  add_dependencies(desktop_safety_tests bmp256-copy-double)
  target_compile_definitions(desktop_safety_tests PRIVATE
    BMP256_COPY_DOUBLE="$<TARGET_FILE:bmp256-copy-double>")
  gtest_discover_tests(desktop_safety_tests DISCOVERY_MODE PRE_TEST)
endif()
