#!/usr/bin/env bash
# Packages the desktop program needs to build: the GTK 3 file chooser.
# Printed one per line; scripts/install-deps.sh installs the ones missing.
pkg-config --exists gtk+-3.0 2>/dev/null || echo libgtk-3-dev
