# Installs a build into a scratch prefix and checks what a desktop needs to
# offer "Open with bmp256": both programs, the entry naming the installed
# program and passing desktop-file-validate, the icon at 16 and 32, the caches
# refreshed where the tools exist, and the licence.
# Usage: cmake -DBUILD_DIR=... -DPREFIX=... -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(path bin/bmp256 bin/bmp256-convert share/applications/bmp256.desktop
             share/doc/bmp256/copyright share/man/man1/bmp256.1 share/man/man1/bmp256-convert.1)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

file(STRINGS ${PREFIX}/share/applications/bmp256.desktop entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=${PREFIX}/bin/bmp256 %f" "Icon=bmp256")
  list(FIND entry "${line}" found)
  if(found LESS 0)
    message(FATAL_ERROR "desktop entry lacks \"${line}\"")
  endif()
endforeach()
list(FILTER entry INCLUDE REGEX "^MimeType=(.*;)?image/bmp;")
if(NOT entry)
  message(FATAL_ERROR "desktop entry does not take image/bmp")
endif()
find_program(validate desktop-file-validate)
if(validate)
  execute_process(COMMAND ${validate} ${PREFIX}/share/applications/bmp256.desktop
    RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT result EQUAL 0 OR said MATCHES "error")
    message(FATAL_ERROR "desktop-file-validate: ${said}")
  endif()
else()
  message(FATAL_ERROR "desktop-file-validate missing: scripts/install-deps.sh installs it")
endif()

find_program(update_desktop update-desktop-database)
if(update_desktop AND NOT EXISTS ${PREFIX}/share/applications/mimeinfo.cache)
  message(FATAL_ERROR "the desktop database was not updated")
endif()
find_program(update_icons gtk-update-icon-cache)
if(update_icons AND NOT EXISTS ${PREFIX}/share/icons/hicolor/icon-theme.cache)
  message(FATAL_ERROR "the icon cache was not updated")
endif()

# A PNG's IHDR holds width and height, big-endian, at bytes 16 to 23.
foreach(size 16 32)
  set(icon ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/bmp256.png)
  if(NOT EXISTS ${icon})
    message(FATAL_ERROR "icon missing: ${icon}")
  endif()
  file(READ ${icon} header OFFSET 16 LIMIT 8 HEX)
  math(EXPR expected_side "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REPLACE "0x" "" side ${expected_side})
  string(LENGTH ${side} length)
  while(length LESS 8)
    set(side "0${side}")
    string(LENGTH ${side} length)
  endwhile()
  if(NOT header STREQUAL "${side}${side}")
    message(FATAL_ERROR "icon ${icon} is not ${size}x${size}: ${header}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
