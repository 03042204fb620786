#!/usr/bin/env bash
# Packages the desktop program needs to build, check and package: the GTK 3
# file chooser, the desktop entry's validator, dpkg-shlibdeps for the Debian
# package's dependencies and lintian, which the package test runs on it.
# Printed one per line; scripts/install-deps.sh installs the ones missing.
pkg-config --exists gtk+-3.0 2>/dev/null || echo libgtk-3-dev
command -v desktop-file-validate >/dev/null || echo desktop-file-utils
command -v dpkg-shlibdeps >/dev/null || echo dpkg-dev
command -v lintian >/dev/null || echo lintian
