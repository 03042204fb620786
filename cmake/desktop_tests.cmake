# Tests of the desktop program.
#  app_path_tests: the portable path routines; no system calls of their own,
#    so the Windows build cross-builds and runs them under wine as well.
#  desktop_tests (Linux): the platform services and whole runs of the program
#    through its real entry, with the dialog and the module path answered by
#    the test double in bmp256-dialog-double.
add_executable(app_path_tests
  ${PROJECT_SOURCE_DIR}/tests/app/path_case_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/app/path_routines_test.cpp)
target_link_libraries(app_path_tests PRIVATE bmp256_desktop GTest::gtest_main)
bmp256_own_target(app_path_tests)

if(NOT WIN32)
  target_sources(app_path_tests PRIVATE ${PROJECT_SOURCE_DIR}/src/platform/linux/module.cpp)
  # A Shift-JIS locale for the double-byte stepping cases; Debian ships the
  # character map but no compiled locale. localedef warns that Shift-JIS is
  # not ASCII-compatible (exit code 1), hence -c and the check for the result.
  set(BMP256_LOCALE_DIR ${PROJECT_BINARY_DIR}/locale)
  find_program(BMP256_LOCALEDEF localedef)
  if(BMP256_LOCALEDEF AND NOT EXISTS ${BMP256_LOCALE_DIR}/ja_JP.SJIS/LC_CTYPE)
    file(MAKE_DIRECTORY ${BMP256_LOCALE_DIR})
    execute_process(
      COMMAND ${BMP256_LOCALEDEF} -c --no-warnings=ascii -f SHIFT_JIS -i ja_JP
              ${BMP256_LOCALE_DIR}/ja_JP.SJIS
      OUTPUT_QUIET ERROR_QUIET)
  endif()
  gtest_discover_tests(app_path_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "LOCPATH=${BMP256_LOCALE_DIR}")

  add_executable(bmp256-dialog-double
    ${PROJECT_SOURCE_DIR}/src/desktop/main_linux.cpp
    ${PROJECT_SOURCE_DIR}/tests/app/fake_platform.cpp)
  target_link_libraries(bmp256-dialog-double PRIVATE bmp256_desktop)
  bmp256_own_target(bmp256-dialog-double)

  add_executable(desktop_tests
    ${PROJECT_SOURCE_DIR}/tests/app/desktop_run_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/app/platform_files_test.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/module.cpp)
  target_link_libraries(desktop_tests PRIVATE bmp256_platform_linux)
  bmp256_test_program(desktop_tests)
  add_dependencies(desktop_tests bmp256-dialog-double)
  target_compile_definitions(desktop_tests PRIVATE
    BMP256_DOUBLE_PROGRAM="$<TARGET_FILE:bmp256-dialog-double>")
  if(TARGET bmp256)
    # The prompt cases run a copy of the real program.
    target_sources(desktop_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/app/desktop_prompt_test.cpp)
    add_dependencies(desktop_tests bmp256 bmp256-convert)
    target_compile_definitions(desktop_tests PRIVATE BMP256_PROGRAM="$<TARGET_FILE:bmp256>"
      BMP256_VERSION="${PROJECT_VERSION}" BMP256_CONVERT_PROGRAM="$<TARGET_FILE:bmp256-convert>"
      BMP256_SUITE_DIR="${PROJECT_SOURCE_DIR}/tests/data/bmpsuite" ${BMP256_DECODE_DEFINITIONS})
  endif()
  gtest_discover_tests(desktop_tests DISCOVERY_MODE PRE_TEST)
else()
  # Under wine: code page 932 (wine takes it from the locale), so that the
  # real CharNextA steps over double-byte characters; listing through wine
  # may take longer than the default 5 s.
  gtest_discover_tests(app_path_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LC_ALL=ja_JP.UTF-8")
endif()

if(NOT WIN32 AND TARGET bmp256)
  add_test(NAME desktop_install
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
            -DPREFIX=${PROJECT_BINARY_DIR}/install-check -DVERSION=${PROJECT_VERSION}
            "-DICON_SIZES=${BMP256_ICON_SIZES}"
            -P ${PROJECT_SOURCE_DIR}/tests/app/install_check.cmake)
endif()

if(NOT WIN32 AND TARGET bmp256)
  find_program(BMP256_DPKG_DEB dpkg-deb)
  if(BMP256_DPKG_DEB)
    add_test(NAME desktop_package
      COMMAND bash ${PROJECT_SOURCE_DIR}/tests/app/package_test.sh ${PROJECT_BINARY_DIR})
    set_tests_properties(desktop_package PROPERTIES TIMEOUT 300)
  endif()
endif()
