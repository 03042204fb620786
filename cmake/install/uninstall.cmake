# `cmake --build BUILD --target uninstall`: removes every file the last
# `cmake --install` of BUILD installed (its install_manifest.txt), then
# refreshes the desktop database and icon cache of that prefix, so "Open
# with" and the icon go too. Expects MANIFEST.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "nothing to uninstall: ${MANIFEST} is missing (no `cmake --install` from this build)")
endif()
file(STRINGS "${MANIFEST}" installed)
set(data "")
foreach(path ${installed})
  if(path MATCHES "^(.*)/applications/bmp256\\.desktop$")
    set(data "${CMAKE_MATCH_1}")
  endif()
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Removing: ${path}")
    file(REMOVE "${path}")
  endif()
endforeach()
if(data)
  set(BMP256_DATADIR "${data}")
  include(${CMAKE_CURRENT_LIST_DIR}/desktop_caches.cmake)
endif()
