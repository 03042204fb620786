# Run by `cmake --install` (and by CPack's staging install): writes the
# desktop entry with the path the program is installed to, so that "Open
# with" finds it without PATH. At install time, because --prefix and CPack
# choose the prefix only then. Expects BMP256_SOURCE_DIR, BMP256_BINDIR and
# BMP256_DATADIR (as GNUInstallDirs gives them, relative or absolute).
foreach(dir BINDIR DATADIR)
  if(IS_ABSOLUTE "${BMP256_${dir}}")
    set(full_${dir} "${BMP256_${dir}}")
  else()
    set(full_${dir} "${CMAKE_INSTALL_PREFIX}/${BMP256_${dir}}")
  endif()
endforeach()
set(BMP256_EXEC "${full_BINDIR}/bmp256")
# A path with a blank or a quote must be quoted in Exec, with " ` $ \ escaped.
if(BMP256_EXEC MATCHES "[ \t\"'`$\\\\]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" BMP256_EXEC "${BMP256_EXEC}")
  set(BMP256_EXEC "\"${BMP256_EXEC}\"")
endif()
set(entry "$ENV{DESTDIR}${full_DATADIR}/applications/bmp256.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${BMP256_SOURCE_DIR}/data/bmp256.desktop.in" "${entry}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
