# The desktop program bmp256: the portable driver, save dialog and path
# routines (bmp256_app, shared with the Windows build) over the platform layer,
# which on Linux is src/platform/linux with the GTK 3 file chooser.
add_library(bmp256_app STATIC
  ${PROJECT_SOURCE_DIR}/src/app/driver.cpp
  ${PROJECT_SOURCE_DIR}/src/app/module_path.cpp
  ${PROJECT_SOURCE_DIR}/src/app/path.cpp
  ${PROJECT_SOURCE_DIR}/src/app/save_dialog.cpp)
target_include_directories(bmp256_app PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(bmp256_app PUBLIC bmp256_core)
# For every entry built on it, the program and its test doubles alike.
target_compile_definitions(bmp256_app PUBLIC BMP256_VERSION="${PROJECT_VERSION}")
bmp256_own_target(bmp256_app)

if(NOT WIN32)
  # The services every Linux build of the program shares. The dialog and the
  # module path come separately so that the test double can replace them.
  add_library(bmp256_platform STATIC
    ${PROJECT_SOURCE_DIR}/src/platform/linux/chars.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/files.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/temporary_file.cpp)
  target_include_directories(bmp256_platform PUBLIC ${PROJECT_SOURCE_DIR}/src)
  # The copy replaces its destination through the core's safe replace.
  target_link_libraries(bmp256_platform PUBLIC bmp256_core)
  bmp256_own_target(bmp256_platform)
  target_link_libraries(bmp256_app PUBLIC bmp256_platform)
endif()

set(BMP256_ICON_SIZES 16 32 48 64 128 256)
if(NOT WIN32 AND BMP256_DESKTOP)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)

  add_executable(bmp256
    ${PROJECT_SOURCE_DIR}/src/app/main_linux.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/module.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/save_dialog_gtk.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/save_prompt.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/linux/text_codec.cpp)
  target_link_libraries(bmp256 PRIVATE bmp256_app PkgConfig::GTK3)
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
