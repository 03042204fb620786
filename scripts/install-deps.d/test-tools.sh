#!/usr/bin/env bash
# Packages the reading tests use to make files the way common tools write
# them: ImageMagick's convert, and a CMYK colour profile (libgs-common's) to
# embed in a CMYK JPEG. Printed one per line; scripts/install-deps.sh
# installs the ones missing.
[ -x /usr/bin/convert-im6.q16 ] || [ -x /usr/bin/magick ] || echo imagemagick
[ -f /usr/share/color/icc/ghostscript/default_cmyk.icc ] || echo libgs-common
