#!/usr/bin/env bash
# Packages bmp256-convert needs to read PNG and JPEG sources: libpng and
# libjpeg-turbo. Printed one per line; scripts/install-deps.sh installs the
# ones missing.
[ -f /usr/include/png.h ] || echo libpng-dev
[ -f /usr/include/jpeglib.h ] || echo libjpeg62-turbo-dev
