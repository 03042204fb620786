# The Windows program bmp256.exe: a 32-bit GUI executable (cross-built with
# cmake/toolchain-mingw32.cmake) whose WinMain hands the command line to the
# portable driver. Its tests run under wine through CTest.
if(WIN32)
  enable_language(RC)

  add_executable(bmp256 WIN32
    ${CMAKE_SOURCE_DIR}/src/app/main_windows.cpp
    ${CMAKE_SOURCE_DIR}/src/app/driver.cpp
    ${CMAKE_SOURCE_DIR}/src/app/save_dialog.cpp
    ${CMAKE_SOURCE_DIR}/src/app/module_path.cpp
    ${CMAKE_SOURCE_DIR}/src/app/path.cpp
    ${CMAKE_SOURCE_DIR}/src/app/bmp256.rc)
  target_link_libraries(bmp256 PRIVATE bmp256_core comdlg32)
  target_link_options(bmp256 PRIVATE $<$<CONFIG:Release>:-s>)
endif()
