#!/usr/bin/env bash
# Installs every Debian 12 package that the build, the tests and the demo need.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ pkgconf
    qt6-base-dev qt6-serialport-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    lrzsz socat
    ser2net libtelnet-dev
    clang libclang-rt-14-dev
    xvfb xauth imagemagick fonts-dejavu-core
    dpkg-dev debhelper fakeroot file lintian librsvg2-bin desktop-file-utils appstream man-db bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
