# The Windows program bmp256.exe: a 32-bit GUI executable (cross-built with
# cmake/toolchain-mingw32.cmake) whose WinMain hands the command line to the
# portable driver in bmp256_desktop. Its tests run under wine through CTest.
if(WIN32)
  enable_language(RC)

  # Under the portable code the platform layer is <windows.h> itself; the save
  # dialog comes from the common dialogs library.
  target_link_libraries(bmp256_desktop PUBLIC comdlg32)
  target_sources(bmp256_desktop PRIVATE ${PROJECT_SOURCE_DIR}/src/platform/windows/copy.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/windows/temporary_file.cpp)

  # The 64-bit build (cmake/toolchain-mingw64.cmake) is for the unit tests:
  # the desktop program exists only as a 32-bit one.
  if(BMP256_DESKTOP AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_executable(bmp256 WIN32
      ${PROJECT_SOURCE_DIR}/src/desktop/main_windows.cpp
      ${PROJECT_SOURCE_DIR}/src/desktop/bmp256.rc)
    target_link_libraries(bmp256 PRIVATE bmp256_desktop)
    target_link_options(bmp256 PRIVATE $<$<CONFIG:Release>:-s>)
    bmp256_own_target(bmp256)
    install(TARGETS bmp256 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()

  # The programs that ship carry no symbol table.
  if(TARGET bmp256-convert)
    target_link_options(bmp256-convert PRIVATE $<$<CONFIG:Release>:-s>)
  endif()

  if(BMP256_TESTS)
    # The real Win32 services under the portable code, and the code page
    # they step paths in. wine takes the ANSI code page from the locale.
    add_executable(windows_tests ${PROJECT_SOURCE_DIR}/tests/windows/win32_services_test.cpp)
    target_link_libraries(windows_tests PRIVATE bmp256_desktop GTest::gtest_main)
    bmp256_own_target(windows_tests)
    add_test(NAME windows_services_cp932
      COMMAND windows_tests --gtest_filter=Win32Services.*:ShiftJisCodePage.*:ReplaceWithCopy.*)
    add_test(NAME windows_services_cp1252 COMMAND windows_tests --gtest_filter=WesternCodePage.*)
    # A filter that matches nothing would pass quietly.
    set_tests_properties(windows_services_cp932 windows_services_cp1252 PROPERTIES
      FAIL_REGULAR_EXPRESSION "\\] 0 tests from")
    set_tests_properties(windows_services_cp932 PROPERTIES ENVIRONMENT LC_ALL=ja_JP.UTF-8)
    set_tests_properties(windows_services_cp1252 PROPERTIES ENVIRONMENT LC_ALL=C.UTF-8)
    # The copy over a destination on a full file system, which the script
    # mounts (as root) and maps into wine.
    add_test(NAME windows_copy_full_disk
      COMMAND bash ${PROJECT_SOURCE_DIR}/tests/windows/full_disk_test.sh $<TARGET_FILE:windows_tests>)
    set_tests_properties(windows_copy_full_disk PROPERTIES FAIL_REGULAR_EXPRESSION "\\] 0 tests from")
  endif()
endif()
