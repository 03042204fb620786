# The Debian package: `cpack -G DEB` in a build folder (or
# scripts/make-deb.sh) makes bmp256_VERSION_ARCH.deb of everything
# `cmake --install` installs, under /usr.
# The licence goes with every install, as Debian wants it named.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
if(WIN32)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bmp256)
set(CPACK_PACKAGE_VENDOR "The bmp256 developers")
set(CPACK_PACKAGE_CONTACT "The bmp256 developers <bmp256@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reduce a true-colour BMP to a 256-colour BMP")
set(CPACK_PACKAGE_DESCRIPTION "bmp256 converts a 24-bit BMP into an 8-bit BMP with a palette of its own,
with error diffusion. The desktop program asks where to save in the
system's file dialog, or on a terminal without a display. bmp256-convert
is the scriptable converter. Licence: MIT (see /usr/share/doc/bmp256/copyright).")
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
# Only what the build installs: no build folders or sources.
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/\\\\.git/")
include(CPack)
