# The desktop program bmp256: the portable driver, save dialog and path
# routines (bmp256_app, shared with the Windows build) over the platform layer,
# which on Linux is src/platform/linux with the GTK 3 file chooser.
add_library(bmp256_app STATIC
  ${CMAKE_SOURCE_DIR}/src/app/driver.cpp
  ${CMAKE_SOURCE_DIR}/src/app/module_path.cpp
  ${CMAKE_SOURCE_DIR}/src/app/path.cpp
  ${CMAKE_SOURCE_DIR}/src/app/save_dialog.cpp)
target_include_directories(bmp256_app PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(bmp256_app PUBLIC bmp256_core)

if(NOT WIN32)
  # The services every Linux build of the program shares. The dialog and the
  # module path come separately so that the test double can replace them.
  add_library(bmp256_platform STATIC
    ${CMAKE_SOURCE_DIR}/src/platform/linux/chars.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/linux/files.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/linux/temporary_file.cpp)
  target_include_directories(bmp256_platform PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(bmp256_app PUBLIC bmp256_platform)

  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)

  add_executable(bmp256
    ${CMAKE_SOURCE_DIR}/src/app/main_linux.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/linux/module.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/linux/save_dialog_gtk.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/linux/save_prompt.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/linux/text_codec.cpp)
  target_link_libraries(bmp256 PRIVATE bmp256_app PkgConfig::GTK3)

  include(GNUInstallDirs)
  install(TARGETS bmp256 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(CODE "set(BMP256_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
    set(BMP256_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(BMP256_DATADIR \"${CMAKE_INSTALL_DATADIR}\")")
  install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/install/desktop_entry.cmake)
  install(FILES ${CMAKE_SOURCE_DIR}/assets/icons/bmp256-16.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps RENAME bmp256.png)
  install(FILES ${CMAKE_SOURCE_DIR}/assets/icons/bmp256-32.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME bmp256.png)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
    RENAME copyright)
  # Last, after every file of the desktop and the icons is in place.
  install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/install/desktop_caches.cmake)
endif()
