#!/usr/bin/env bash
# Builds the Debian package build/kdx-utility_<version>_amd64.deb: the four
# programs, desktop entries, icon, metainfo, man pages and bash completion
# (no tests or benchmarks). Install it with
#   sudo apt-get install ./build/kdx-utility_1.3.5_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}

bash scripts/bootstrap.sh
# Only what the package holds; the man pages are made from the programs.
bash scripts/build.sh kdx-utility kdxa-utility kdxctl kdx-sim packaging-data
cd "$BUILD_DIR"
cpack -G DEB --config CPackConfig.cmake
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' CPackConfig.cmake)
deb=kdx-utility_${version}_amd64.deb
echo "package: $BUILD_DIR/$deb"
# Errors fail the script; warnings are shown.
lintian --fail-on error "$deb"
