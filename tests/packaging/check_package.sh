#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the .deb from a build folder into a scratch folder and checks what a
# user gets from it. Every failed check is listed; the exit status is 1 if any.
#   check_package.sh BUILD_DIR VERSION APP_ID KDXA_APP_ID
set -uo pipefail
build=$1 version=$2 app_id=$3 kdxa_id=$4

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kdx-package-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for tool in cpack dpkg-deb desktop-file-validate appstreamcli lintian man bash; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/bootstrap.sh installs it)"
done
[ "$failures" -eq 0 ] || exit 1

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    fail "cpack failed"
    exit 1
}
deb=$scratch/out/kdx-utility_${version}_amd64.deb
[ -f "$deb" ] || { fail "no $(basename "$deb")"; ls "$scratch/out"; exit 1; }

# Exactly these files: nothing missing, nothing of the tests or benchmarks.
expected=$(sort <<EOF2
./usr/bin/kdx-sim
./usr/bin/kdx-utility
./usr/bin/kdxa-utility
./usr/bin/kdxctl
./usr/lib/kdx-utility/libkdx_devices.so
./usr/lib/kdx-utility/libkdx_netport.so
./usr/share/applications/$app_id.desktop
./usr/share/applications/$kdxa_id.desktop
./usr/share/bash-completion/completions/kdxctl
./usr/share/doc/kdx-utility/changelog.gz
./usr/share/doc/kdx-utility/copyright
./usr/share/icons/hicolor/scalable/apps/$app_id.svg
./usr/share/man/man1/kdx-sim.1.gz
./usr/share/man/man1/kdx-utility.1.gz
./usr/share/man/man1/kdxa-utility.1.gz
./usr/share/man/man1/kdxctl.1.gz
./usr/share/metainfo/$app_id.metainfo.xml
EOF2
)
files=$(dpkg-deb -c "$deb" | grep -v '^d' | awk '{print $6}' | sort)
if [ "$files" != "$expected" ]; then
    fail "the package's files differ from the expected ones:"
    diff <(echo "$expected") <(echo "$files")
fi

fields=$(dpkg-deb -f "$deb" Package Version Section Maintainer Depends)
for want in "Package: kdx-utility" "Version: $version" "Section: electronics" "Maintainer: " "Depends: .*libqt6core6" "Depends: .*libc6"; do
    grep -q -e "^$want" <<<"$fields" || fail "control lacks \"$want\": $fields"
done

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for desktop in "$root"/usr/share/applications/*.desktop; do
    desktop-file-validate "$desktop" || fail "desktop-file-validate $(basename "$desktop")"
done
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/$app_id.metainfo.xml" >"$scratch/as.log" 2>&1 \
    || { cat "$scratch/as.log"; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo without release $version"
grep -q "<project_license>MIT</project_license>" "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo without MIT"
grep -q "^License: MIT" "$root/usr/share/doc/kdx-utility/copyright" || fail "copyright without License: MIT"

# The programs run from the unpacked tree and answer without a display.
export QT_QPA_PLATFORM=offscreen KDX_PORTS_DIR=$scratch/ports XDG_CONFIG_HOME=$scratch/config
mkdir -p "$KDX_PORTS_DIR" "$XDG_CONFIG_HOME"
for program in kdxctl kdx-sim kdx-utility kdxa-utility; do
    got=$("$root/usr/bin/$program" --version 2>&1)
    [ "$got" = "$program $version" ] || fail "$program --version said \"$got\""
done
got=$("$root/usr/bin/kdx-sim" --help 2>&1 | head -1)
[ "$got" = "Usage: kdx-sim [OPTION]..." ] || fail "kdx-sim --help began with \"$got\""

# Each man page renders, without complaints, with its include file's sections.
for page in "$root"/usr/share/man/man1/*.1.gz; do
    text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>"$scratch/man.err")
    [ -s "$scratch/man.err" ] && { cat "$scratch/man.err"; fail "man -l $(basename "$page") complained"; }
    for section in NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES "EXIT STATUS" EXAMPLES; do
        grep -q "^$section" <<<"$text" || fail "$(basename "$page") has no $section section"
    done
done

# The completion offers the commands, the options and the port map's COM names.
ln -s /dev/null "$KDX_PORTS_DIR/COM7"
echo "tcp://127.0.0.1:4001" >"$KDX_PORTS_DIR/COM12.url"
ports_before=$(ls -l "$KDX_PORTS_DIR")
cd "$scratch" && touch image.bin
complete_line() {
    PATH="$root/usr/bin:$PATH" bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        COMP_LINE="kdxctl $2"; COMP_POINT=${#COMP_LINE}
        read -r -a COMP_WORDS <<<"$COMP_LINE"
        [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _kdxctl
        printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ \
        "$root/usr/share/bash-completion/completions/kdxctl" "$1"
}
while IFS='|' read -r line want; do
    got=$(complete_line "$line")
    [[ " $got" == *" $want "* ]] || fail "completing \"kdxctl $line\" gave \"$got\", not \"$want\""
done <<'EOF2'
|version
|send-bytes
|firmware
|spy
spy --|--as
--p|--port
--port |COM7
--port |COM12
--port |all
--port=CO|COM7
--databits |8
--port COM7 sw|switch
--port @im|@image.bin
--jo|--jobs
switch |native
printer |off
firmware img --|--crc
firmware --crc im|image.bin
firmware --code-type 1 im|image.bin
EOF2
# Completing only reads the port map: no device gets a number, and a folder
# that is not there is not made.
[ "$(ls -l "$KDX_PORTS_DIR")" = "$ports_before" ] || fail "completion changed the port map: $(ls -l "$KDX_PORTS_DIR")"
(export KDX_PORTS_DIR=$scratch/no-ports; complete_line "--port " >/dev/null)
[ -e "$scratch/no-ports" ] && fail "completion made the ports folder"

lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" >"$scratch/lintian.log" 2>&1 \
    || { cat "$scratch/lintian.log"; fail "lintian reports errors"; }
grep -E '^[WE]: ' "$scratch/lintian.log" || true

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package $(basename "$deb") checked"
