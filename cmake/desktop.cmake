# The desktop program bmp256: the portable driver, save dialog and path
# routines (bmp256_desktop, shared with the Windows build) over the Win32
# services, which on Linux come from src/platform/linux with the GTK 3 file
# chooser.
bmp256_folder_library(bmp256_desktop
  ${PROJECT_SOURCE_DIR}/src/desktop/convert_file.cpp
  ${PROJECT_SOURCE_DIR}/src/desktop/driver.cpp
  ${PROJECT_SOURCE_DIR}/src/desktop/module_path.cpp
  ${PROJECT_SOURCE_DIR}/src/desktop/path.cpp
  ${PROJECT_SOURCE_DIR}/src/desktop/save_dialog.cpp)
target_link_libraries(bmp256_desktop PUBLIC bmp256_convert)
# For every entry built on it, the program and its test doubles alike.
target_compile_definitions(bmp256_desktop PUBLIC BMP256_VERSION="${PROJECT_VERSION}")

if(NOT WIN32)
  # The services every Linux build of the program shares. The dialog and the
  # module path come separately so that the test double can replace them.
  bmp256_folder_library(bmp256_platform_linux
    ${PROJECT_SOURCE_DIR}/src/platform/linux/chars.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/files.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/temporary_file.cpp)
  target_link_libraries(bmp256_platform_linux PUBLIC ${BMP256_PLATFORM_LINK})
  target_link_libraries(bmp256_desktop PUBLIC bmp256_platform_linux)
endif()

set(BMP256_ICON_SIZES 16 32 48 64 128 256)
if(NOT WIN32 AND BMP256_DESKTOP)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)

  add_executable(bmp256
    ${PROJECT_SOURCE_DIR}/src/desktop/main_linux.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/module.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/save_dialog_gtk.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/save_prompt.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/text_codec.cpp)
  target_link_libraries(bmp256 PRIVATE bmp256_desktop PkgConfig::GTK3)
  bmp256_own_target(bmp256)

  install(TARGETS bmp256 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(CODE "set(BMP256_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
    set(BMP256_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(BMP256_DATADIR \"${CMAKE_INSTALL_DATADIR}\")")
  install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install/desktop_entry.cmake)
  # Every size the hicolor theme lists for applications, drawn by
  # tools/make_icon.py, so that no desktop has to scale the icon itself.
  foreach(size ${BMP256_ICON_SIZES})
    install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/bmp256-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME bmp256.png)
  endforeach()
  # Last, after every file of the desktop and the icons is in place.
  install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install/desktop_caches.cmake)
endif()
