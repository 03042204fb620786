# Run last by `cmake --install`: refreshes the desktop database (the "Open
# with" list) and the icon cache of the prefix when the tools are there. Not
# while staging a package (DESTDIR set): its post-install does that on the
# system it is installed on. Expects BMP256_DATADIR.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
if(IS_ABSOLUTE "${BMP256_DATADIR}")
  set(data "${BMP256_DATADIR}")
else()
  set(data "${CMAKE_INSTALL_PREFIX}/${BMP256_DATADIR}")
endif()
find_program(BMP256_UPDATE_DESKTOP_DATABASE update-desktop-database)
if(BMP256_UPDATE_DESKTOP_DATABASE AND IS_DIRECTORY "${data}/applications")
  execute_process(COMMAND ${BMP256_UPDATE_DESKTOP_DATABASE} -q "${data}/applications")
endif()
find_program(BMP256_UPDATE_ICON_CACHE gtk-update-icon-cache)
if(BMP256_UPDATE_ICON_CACHE AND IS_DIRECTORY "${data}/icons/hicolor")
  # -t: a per-user hicolor folder has no index.theme of its own.
  execute_process(COMMAND ${BMP256_UPDATE_ICON_CACHE} -q -t -f "${data}/icons/hicolor")
endif()
