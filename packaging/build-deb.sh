#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages with dpkg-buildpackage from a copy of this source
# tree and checks them with lintian. The packages, .buildinfo and .changes end
# up in OUT_DIR; the copy and its build are removed again.
#   packaging/build-deb.sh OUT_DIR
# DEB_BUILD_OPTIONS is passed on (nocheck leaves the tests out).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)

version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
upstream=${version%-*}
work=$out/debian-build
rm -rf "$work"
mkdir -p "$work/kdx-utility-$upstream"
# The source as it stands, without build folders or version control.
tar -C "$src" --exclude-vcs --exclude='./build*' --exclude=./.cache --exclude=./compile_commands.json \
    --exclude="./${out#"$src"/}" -cf - . | tar -C "$work/kdx-utility-$upstream" -xf -

(cd "$work/kdx-utility-$upstream" && dpkg-buildpackage -us -uc -b)

arch=$(dpkg-architecture -q DEB_HOST_ARCH)
made=(kdx-utility_"${version}"_"$arch".deb kdx-utility-dbgsym_"${version}"_"$arch".deb
      kdx-utility_"${version}"_"$arch".buildinfo kdx-utility_"${version}"_"$arch".changes)
for f in "${made[@]}"; do
    mv -f "$work/$f" "$out/"
done
rm -rf "$work"

# Any error or warning fails the build; the pedantic notes are shown.
lintian --pedantic --fail-on error,warning "$out/kdx-utility_${version}_$arch.changes"
echo "packages: $out/kdx-utility_${version}_$arch.deb $out/kdx-utility-dbgsym_${version}_$arch.deb"
