#!/usr/bin/env bash
# Packages bmp256-convert needs to read PNG and JPEG sources as viewers show
# them: libpng and libjpeg-turbo, libexif for the EXIF orientation and Little
# CMS for colour profiles. Printed one per line; scripts/install-deps.sh
# installs the ones missing.
[ -f /usr/include/png.h ] || echo libpng-dev
[ -f /usr/include/jpeglib.h ] || echo libjpeg62-turbo-dev
[ -f /usr/include/libexif/exif-data.h ] || echo libexif-dev
[ -f /usr/include/lcms2.h ] || echo liblcms2-dev
