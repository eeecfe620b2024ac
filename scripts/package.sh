#!/usr/bin/env bash
# Builds the Debian packages through dpkg-buildpackage (debian/):
#   build/kdx-utility_1.3.5-1_amd64.deb         the programs, menus, man pages ...
#   build/kdx-utility-dbgsym_1.3.5-1_amd64.deb  their debug symbols
# (another folder: BUILD_DIR or the first argument). Install with
#   sudo apt-get install ./build/kdx-utility_1.3.5-1_amd64.deb
# The tests are left out (DEB_BUILD_OPTIONS=nocheck) unless DEB_BUILD_OPTIONS
# is given: scripts/test.sh runs them on the same source.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-${BUILD_DIR:-build}}

bash scripts/bootstrap.sh
# Whatever debian/control asks for that bootstrap.sh did not install.
if ! dpkg-checkbuilddeps >/dev/null 2>&1; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get build-dep -y -qq ./
fi
export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS-nocheck parallel=$(nproc)}
bash packaging/build-deb.sh "$out"
