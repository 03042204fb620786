# The Debian package: `cpack -G DEB` in a build folder (or
# scripts/make-deb.sh) makes bmp256_VERSION_ARCH.deb of everything
# `cmake --install` installs, under /usr.
# The licence goes with every install, as Debian wants it named.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
# Undoes the last `cmake --install` of this build folder.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/install/uninstall.cmake)
if(WIN32)
  return()
endif()

# A native package's changelog, which Debian wants in the documentation
# folder, compressed; its version is the project's.
configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/debian/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bmp256)
set(CPACK_PACKAGE_VENDOR "The bmp256 developers")
set(CPACK_PACKAGE_CONTACT "The bmp256 developers <bmp256@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reduce true-colour BMP, PNG and JPEG images to 256-colour BMP")
set(CPACK_PACKAGE_DESCRIPTION "bmp256 turns a true-colour picture into an 8-bit BMP with a palette of
its own (236 colours chosen from the picture) and error diffusion, with the
same bytes on every machine.
.
The desktop program bmp256 takes one BMP, PNG or JPEG dropped on it or opened
with it from a file manager, and asks where to save in the system's file
dialog (or on a terminal without a display). bmp256-convert is the
scriptable converter: it reads BMP of every form, PNG and JPEG, converts
many files at once and says why a file is refused.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dialog's Japanese title needs a CJK font to show as more than boxes.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-ipafont-gothic | fonts-noto-cjk")
find_program(BMP256_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(BMP256_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  # What the two programs link, as Debian 12 names the libraries.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
  if(BMP256_DESKTOP)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libglib2.0-0, libgtk-3-0")
  endif()
  # bmp256-convert's PNG and JPEG decoders, when the build has them.
  if(PNG_FOUND)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libpng16-16")
  endif()
  if(JPEG_FOUND)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libjpeg62-turbo")
  endif()
  # Colour profiles and the EXIF orientation.
  if(BMP256_HAVE_LCMS2)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", liblcms2-2")
  endif()
  if(BMP256_HAVE_EXIF)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libexif12")
  endif()
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/data/debian/postinst ${PROJECT_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debian ships programs without their symbol tables.
set(CPACK_STRIP_FILES ON)
# Only what the build installs: no build folders or sources.
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/\\\\.git/")
include(CPack)
